#include "browser/TextEditDialog.h"

#include "ui/Messages.h"

#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMimeData>
#include <QPushButton>
#include <QVBoxLayout>

namespace browser {

int TextLimitEdit::storedLength() const
{
    const QString t = toPlainText();
    return static_cast<int>(t.size() + t.count(QLatin1Char('\n')));
}

int TextLimitEdit::room() const
{
    const QString sel = textCursor().selectedText();
    // A selected paragraph break shows up as U+2029 and stands for CR LF.
    const int selected = static_cast<int>(sel.size() + sel.count(QChar(0x2029)));
    return limit_ - storedLength() + selected;
}

void TextLimitEdit::keyPressEvent(QKeyEvent* event)
{
    const bool isBreak = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const QString text = event->text();
    // Alt+letter inserts its letter too (the text control only keeps Ctrl
    // combinations for itself), so it counts against the limit.
    const bool inserts = isBreak
            || (!text.isEmpty() && text.at(0).isPrint() && !(event->modifiers() & Qt::ControlModifier));
    if (inserts) {
        const int needed = isBreak ? 2 : static_cast<int>(text.size());
        if (needed > room()) {
            event->accept();
            return;
        }
    }
    QPlainTextEdit::keyPressEvent(event);
}

void TextLimitEdit::insertFromMimeData(const QMimeData* source)
{
    if (!source || !source->hasText())
        return;
    QString text = source->text();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const int r = room();
    QString cut;
    int used = 0;
    for (QChar c : text) {
        const int w = c == QLatin1Char('\n') ? 2 : 1;
        if (used + w > r)
            break;
        used += w;
        cut.append(c);
    }
    insertPlainText(cut);
}

QString TextEditDialog::toBoxText(const std::string& stored)
{
    QString s = QString::fromLatin1(stored.data(), static_cast<qsizetype>(stored.size()));
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}

std::string TextEditDialog::fromBoxText(const QString& box)
{
    QString s = box;
    s.replace(QChar(0x2029), QLatin1Char('\n'));
    s.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    const QByteArray bytes = s.toLatin1();
    std::string out(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    // A 0 byte would end the stored text early.
    for (char& c : out)
        if (c == '\0')
            c = ' ';
    return out;
}

TextEditDialog::TextEditDialog(const QString& name, const std::string& stored, QWidget* parent)
        : QDialog(parent), edit_(new TextLimitEdit(this))
{
    setWindowTitle(QStringLiteral("Editing: ") + name);
    edit_->setObjectName(QStringLiteral("textBox"));
    edit_->setLimit(kMaxChars);
    edit_->setLineWrapMode(QPlainTextEdit::NoWrap); // scrolls in both directions
    edit_->setTabChangesFocus(true);
    edit_->setPlainText(toBoxText(stored));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setCenterButtons(true);
    // Enter belongs to the box (new line), not to a default button.
    for (QAbstractButton* b : buttons->buttons())
        if (auto* p = qobject_cast<QPushButton*>(b)) {
            p->setAutoDefault(false);
            p->setDefault(false);
        }
    connect(buttons, &QDialogButtonBox::accepted, this, &TextEditDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TextEditDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(edit_, 1);
    layout->addWidget(buttons);

    // 210 x 127 dialog units.
    const QFontMetrics fm(font());
    resize(fm.averageCharWidth() * 210 / 4, fm.height() * 127 / 8);
    edit_->setFocus();
}

std::string TextEditDialog::storedText() const
{
    return fromBoxText(edit_->toPlainText());
}

void TextEditDialog::accept()
{
    if (edit_->storedLength() > kMaxChars) {
        ui::tell(this, QStringLiteral("Please enter no more than %1 characters.").arg(kMaxChars));
        edit_->setFocus();
        return;
    }
    if (check_) {
        const QString refusal = check_(storedText());
        if (!refusal.isEmpty()) {
            ui::tell(this, refusal);
            edit_->setFocus();
            return;
        }
    }
    QDialog::accept();
}

} // namespace browser
