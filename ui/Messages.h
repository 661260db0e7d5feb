#pragma once
// Every message box and question of the editor's windows goes through here:
// the tree and its editors, the table windows, the main window and the
// application object. Tests install a sink of their own to read the texts
// and give the answers instead of facing a modal box.
#include <QList>
#include <QString>

class QWidget;

namespace ui {

// The icon of a message box: information for what the user asked to see or
// a refused entry, warning for a failure.
enum class Tone { Information, Warning };

// The buttons a question can offer.
enum class Answer { Yes, No, Cancel, Overwrite, Reload, Recover, Discard, Later };

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // A message with an OK button.
    virtual void tell(QWidget* parent, const QString& text, Tone tone) = 0;
    // A question offering `choices`, `byDefault` on Enter. Closing the box
    // any other way answers Cancel.
    virtual Answer ask(
            QWidget* parent, const QString& text, const QList<Answer>& choices, Answer byDefault) = 0;
};

void tell(QWidget* parent, const QString& text, Tone tone = Tone::Information);

// "Yes", "No", "Cancel", Yes on Enter.
Answer askYesNoCancel(QWidget* parent, const QString& text);
// A warning with "Overwrite", "Reload" and "Cancel", Cancel on Enter: the
// safe choice is the one a stray key press gets.
Answer askOverwriteReloadCancel(QWidget* parent, const QString& text);

// "Recover", "Discard", "Not now", Recover on Enter. Closing the box answers
// Later: nothing is lost or decided.
Answer askRecoverDiscardLater(QWidget* parent, const QString& text);

// Installs a sink (nullptr: the message boxes again) and returns the one it
// replaces. The sink is not owned and must outlive its installation.
MessageSink* setMessageSink(MessageSink* sink);

} // namespace ui
