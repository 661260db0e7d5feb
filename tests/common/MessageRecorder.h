#pragma once
// Stands in for the message boxes while it lives: keeps every text told and
// asked, and answers questions from a script (`otherwise` once it runs out).
#include "ui/Messages.h"

#include <QList>
#include <QStringList>

#include <cstdlib>
#include <functional>

namespace testsupport {

class MessageRecorder : public ui::MessageSink {
public:
    MessageRecorder() : previous_(ui::setMessageSink(this)) {}
    // Recorders nest: the last one made must go first, else the one put back
    // would be a dead one.
    ~MessageRecorder() override
    {
        if (ui::setMessageSink(previous_) != this)
            std::abort();
    }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    QStringList told; // every message, in order
    QList<ui::Tone> tones; // the icon of each
    QStringList asked; // every question, in order
    QList<ui::Answer> answers; // the next answers to give
    ui::Answer otherwise = ui::Answer::Cancel;
    std::function<void()> onAsk; // runs when a question is asked, before it is answered

    void tell(QWidget*, const QString& text, ui::Tone tone) override
    {
        told << text;
        tones << tone;
    }

    ui::Answer ask(QWidget*, const QString& text, const QList<ui::Answer>&, ui::Answer) override
    {
        asked << text;
        if (onAsk)
            onAsk();
        return answers.isEmpty() ? otherwise : answers.takeFirst();
    }

    // The warnings only (the main window's failures, the table windows' refusals).
    QStringList warnings() const
    {
        QStringList w;
        for (qsizetype i = 0; i < told.size(); ++i)
            if (tones.at(i) == ui::Tone::Warning)
                w << told.at(i);
        return w;
    }

private:
    ui::MessageSink* previous_;
};

} // namespace testsupport
