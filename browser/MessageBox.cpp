#include "browser/MessageBox.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QString>

namespace browser {

namespace {
MessageHandler& handler()
{
    static MessageHandler h;
    return h;
}
} // namespace

void showMessage(QWidget* parent, const QString& text)
{
    if (handler()) {
        handler()(parent, text);
        return;
    }
    QString title = QGuiApplication::applicationDisplayName();
    if (title.isEmpty())
        title = QStringLiteral("Tarlo");
    QMessageBox::information(parent, title, text, QMessageBox::Ok);
}

MessageHandler setMessageHandler(MessageHandler h)
{
    return std::exchange(handler(), std::move(h));
}

} // namespace browser
