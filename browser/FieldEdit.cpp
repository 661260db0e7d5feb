#include "browser/FieldEdit.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>

namespace browser {

FieldEdit::FieldEdit(QWidget* parent) : QLineEdit(parent)
{
    setFrame(true);
    setContextMenuPolicy(Qt::NoContextMenu); // its Paste would bypass the filter
    setAcceptDrops(false);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setObjectName(QStringLiteral("FieldEdit"));
    hide();
    // Any change made by the user (typing, Delete, Backspace, cut, undo) counts.
    connect(this, &QLineEdit::textEdited, this, [this] { changed_ = true; });
}

void FieldEdit::begin(const FieldEditSetup& setup, const QString& text, const QRect& geometry)
{
    setup_ = setup;
    setMaxLength(setup.maxChars);
    setGeometry(geometry);
    setText(text);
    selectAll();
    changed_ = false;
    open_ = true;
    raise();
    show();
    setFocus(Qt::OtherFocusReason);
}

void FieldEdit::end()
{
    open_ = false;
    changed_ = false;
    hide();
}

void FieldEdit::refill(const QString& text)
{
    setText(text);
    selectAll();
    setFocus(Qt::OtherFocusReason);
}

ui::NumberChars FieldEdit::chars() const
{
    return ui::NumberChars{setup_.allowMinus, setup_.allowPoint};
}

bool FieldEdit::acceptsChar(QChar c) const
{
    return chars().accepts(c);
}

void FieldEdit::pasteFiltered()
{
    const QString filtered = chars().filtered(QGuiApplication::clipboard()->text());
    if (filtered.isEmpty())
        return;
    insert(filtered);
    changed_ = true;
}

void FieldEdit::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        emit enterPressed();
        return;
    case Qt::Key_Escape:
        event->accept();
        changed_ = false;
        emit escapePressed();
        return;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        event->accept(); // the edit ends only with Enter or Esc
        return;
    case Qt::Key_Delete:
        changed_ = true;
        QLineEdit::keyPressEvent(event);
        return;
    default:
        break;
    }
    if (event->modifiers() & Qt::AltModifier) {
        // Alt+T, Alt+D, Alt+X and menu keys belong to the tree and the window.
        event->ignore();
        return;
    }
    if (event->matches(QKeySequence::Paste)) {
        event->accept();
        pasteFiltered();
        return;
    }
    const QString text = event->text();
    const bool isCommand = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (!isCommand && !text.isEmpty() && text.at(0).isPrint()) {
        if (!chars().acceptsAll(text)) {
            event->accept(); // swallowed without a sound
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

void FieldEdit::mouseReleaseEvent(QMouseEvent* event)
{
    // The middle button pastes the X selection unfiltered: not here.
    if (event->button() == Qt::MiddleButton) {
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

} // namespace browser
