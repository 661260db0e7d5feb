// Operation names, the operand box, undo keys and menu entries of the workbenches.
#include "tables/WorkbenchUi.h"

#include "tables/TableText.h"
#include "ui/Messages.h"

#include <QInputDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QUndoStack>

namespace tables {

QString opName(TableOp op)
{
    switch (op) {
    case TableOp::Set:
        return QStringLiteral("Set");
    case TableOp::Add:
        return QStringLiteral("Add");
    case TableOp::Scale:
        return QStringLiteral("Multiply by %");
    case TableOp::InterpolateRows:
        return QStringLiteral("Interpolate Along Rows");
    case TableOp::InterpolateCols:
        return QStringLiteral("Interpolate Along Columns");
    case TableOp::Bilinear:
        return QStringLiteral("Interpolate from Corners");
    case TableOp::Smooth:
        return QStringLiteral("Smooth");
    }
    return {};
}

std::optional<double> askOperand(QWidget* parent, TableOp op)
{
    if (op != TableOp::Set && op != TableOp::Add && op != TableOp::Scale)
        return 0.0;
    const QString label = op == TableOp::Set ? QStringLiteral("Set the selected values to:")
            : op == TableOp::Add             ? QStringLiteral("Add to the selected values:")
                                             : QStringLiteral("Multiply the selected values by (%):");
    bool ok = false;
    const QString text = QInputDialog::getText(parent, opName(op), label, QLineEdit::Normal,
            op == TableOp::Scale ? QStringLiteral("100") : QString(), &ok);
    if (!ok)
        return std::nullopt;
    double v = 0;
    const std::string why = readValue(text.toStdString(), '\t', CellKind::Real, v);
    if (!why.empty()) {
        ui::tell(parent, QStringLiteral("\"%1\" %2.").arg(text, QString::fromStdString(why)),
                ui::Tone::Warning);
        return std::nullopt;
    }
    return v;
}

bool undoKey(QKeyEvent* e, QUndoStack* stack)
{
    const auto mods = e->modifiers() & ~Qt::KeypadModifier;
    if (e->matches(QKeySequence::Undo))
        stack->undo();
    else if (e->matches(QKeySequence::Redo) || (e->key() == Qt::Key_Y && mods == Qt::ControlModifier))
        stack->redo();
    else
        return false;
    return true;
}

std::optional<TableOp> commonOpKey(const QKeyEvent* e)
{
    if (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return std::nullopt;
    const QString t = e->text();
    if (t == u'=')
        return TableOp::Set;
    if (t == u'+')
        return TableOp::Add;
    if (t == u'*' || t == u'%')
        return TableOp::Scale;
    if (e->key() == Qt::Key_S)
        return TableOp::Smooth;
    return std::nullopt;
}

QAction* addCommand(QMenu* m, const QString& text, const QKeySequence& keys, std::function<void()> fn)
{
    QAction* a = m->addAction(text, std::move(fn));
    a->setShortcut(keys);
    a->setShortcutContext(Qt::WidgetShortcut);
    a->setShortcutVisibleInContextMenu(true);
    return a;
}

void addValueCommands(QMenu* m, const std::function<void(TableOp)>& ask)
{
    addCommand(
            m, QStringLiteral("&Set to..."), QKeySequence(QStringLiteral("=")), [ask] { ask(TableOp::Set); });
    addCommand(m, QStringLiteral("A&dd..."), QKeySequence(QStringLiteral("+")), [ask] { ask(TableOp::Add); });
    addCommand(m, QStringLiteral("&Multiply by %..."), QKeySequence(QStringLiteral("*")),
            [ask] { ask(TableOp::Scale); });
}

void addUndoCommands(QMenu* m, QUndoStack* stack)
{
    addCommand(m, QStringLiteral("&Undo ") + stack->undoText(), QKeySequence::Undo, [stack] {
        stack->undo();
    })->setEnabled(stack->canUndo());
    addCommand(m, QStringLiteral("R&edo ") + stack->redoText(), QKeySequence(QStringLiteral("Ctrl+Y")),
            [stack] { stack->redo(); })
            ->setEnabled(stack->canRedo());
}

} // namespace tables
