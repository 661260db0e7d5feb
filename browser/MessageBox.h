#pragma once
// Every message of the record editors goes through here, so that tests can read
// the texts instead of facing a modal box.
#include <functional>

class QString;
class QWidget;

namespace browser {

using MessageHandler = std::function<void(QWidget* parent, const QString& text)>;

// A plain message box with an OK button, or the installed handler.
void showMessage(QWidget* parent, const QString& text);

// Installs a handler (an empty one restores the message box); returns the previous one.
MessageHandler setMessageHandler(MessageHandler handler);

} // namespace browser
