#include "ui/Messages.h"

#include <QMessageBox>
#include <QPushButton>

#include <utility>

namespace ui {

namespace {

const QString& caption()
{
    static const QString c = QStringLiteral("Tarlo");
    return c;
}

QMessageBox::Icon iconFor(Tone tone)
{
    return tone == Tone::Warning ? QMessageBox::Warning : QMessageBox::Information;
}

// The message boxes themselves.
class BoxSink final : public MessageSink {
public:
    void tell(QWidget* parent, const QString& text, Tone tone) override
    {
        QMessageBox box(iconFor(tone), caption(), text, QMessageBox::Ok, parent);
        box.exec();
    }

    Answer ask(QWidget* parent, const QString& text, const QList<Answer>& choices, Answer byDefault) override
    {
        // A question that offers to overwrite something is a warning.
        const bool destructive = choices.contains(Answer::Overwrite);
        QMessageBox box(destructive ? QMessageBox::Warning : QMessageBox::Question, caption(), text,
                QMessageBox::NoButton, parent);
        QList<std::pair<QAbstractButton*, Answer>> buttons;
        for (Answer a : choices) {
            QAbstractButton* b = nullptr;
            switch (a) {
            case Answer::Yes:
                b = box.addButton(QMessageBox::Yes);
                break;
            case Answer::No:
                b = box.addButton(QMessageBox::No);
                break;
            case Answer::Cancel:
                b = box.addButton(QMessageBox::Cancel);
                break;
            case Answer::Overwrite:
                b = box.addButton(QStringLiteral("Overwrite"), QMessageBox::DestructiveRole);
                break;
            case Answer::Reload:
                b = box.addButton(QStringLiteral("Reload"), QMessageBox::ResetRole);
                break;
            case Answer::Recover:
                b = box.addButton(QStringLiteral("Recover"), QMessageBox::AcceptRole);
                break;
            case Answer::Discard:
                b = box.addButton(QStringLiteral("Discard"), QMessageBox::DestructiveRole);
                break;
            case Answer::Later:
                b = box.addButton(QStringLiteral("Not now"), QMessageBox::RejectRole);
                break;
            }
            buttons.append({b, a});
            if (a == byDefault)
                box.setDefaultButton(qobject_cast<QPushButton*>(b));
        }
        box.exec();
        for (const auto& [button, answer] : buttons)
            if (box.clickedButton() == button)
                return answer;
        return Answer::Cancel;
    }
};

MessageSink*& installed()
{
    static MessageSink* sink = nullptr;
    return sink;
}

MessageSink& sink()
{
    static BoxSink boxes;
    MessageSink* s = installed();
    return s ? *s : boxes;
}

} // namespace

void tell(QWidget* parent, const QString& text, Tone tone)
{
    sink().tell(parent, text, tone);
}

Answer askYesNoCancel(QWidget* parent, const QString& text)
{
    return sink().ask(parent, text, {Answer::Yes, Answer::No, Answer::Cancel}, Answer::Yes);
}

Answer askOverwriteReloadCancel(QWidget* parent, const QString& text)
{
    return sink().ask(parent, text, {Answer::Overwrite, Answer::Reload, Answer::Cancel}, Answer::Cancel);
}

Answer askRecoverDiscardLater(QWidget* parent, const QString& text)
{
    const Answer a =
            sink().ask(parent, text, {Answer::Recover, Answer::Discard, Answer::Later}, Answer::Recover);
    return a == Answer::Cancel ? Answer::Later : a;
}

MessageSink* setMessageSink(MessageSink* s)
{
    return std::exchange(installed(), s);
}

} // namespace ui
