#pragma once
// The characters a number box takes: digits, and the minus sign and the
// decimal point where the value allows them. The in-place value box and the
// table windows' boxes use the same rule for typed and pasted text.
#include <QString>
#include <QValidator>

namespace ui {

struct NumberChars {
    bool minus = true;
    bool point = true;

    bool accepts(QChar c) const;
    // Every character of text is accepted (true for an empty text).
    bool acceptsAll(QStringView text) const;
    // text without the characters that are not accepted.
    QString filtered(QStringView text) const;
};

// Refuses any text with a character that chars does not accept, so a paste
// or a drop obeys the same rule as typing.
class NumberValidator : public QValidator {
public:
    explicit NumberValidator(NumberChars chars, QObject* parent = nullptr) : QValidator(parent), chars_(chars)
    {}
    State validate(QString& input, int& pos) const override;

private:
    NumberChars chars_;
};

} // namespace ui
