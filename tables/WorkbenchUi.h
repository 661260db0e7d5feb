#pragma once
// What the grid and the curve windows' workbenches share on screen: the
// operations' names, the operand question, the undo keys and the menu
// entries with their keys shown.
#include "tables/TableOps.h"

#include <QKeySequence>
#include <QString>

#include <functional>
#include <optional>

class QKeyEvent;
class QMenu;
class QAction;
class QUndoStack;
class QWidget;

namespace tables {

QString opName(TableOp op);

// The operand of Set, Add or Multiply by % asked in a box (0 for the
// others, which need none); nullopt when cancelled or refused (told).
std::optional<double> askOperand(QWidget* parent, TableOp op);

// Ctrl+Z undoes; Ctrl+Shift+Z and Ctrl+Y redo. Answers whether e was one.
bool undoKey(QKeyEvent* e, QUndoStack* stack);

// The operation a plain key stands for in both windows: =, +, * (or %), S.
std::optional<TableOp> commonOpKey(const QKeyEvent* e);

// A menu entry showing its key; the window handles the key itself.
QAction* addCommand(QMenu* m, const QString& text, const QKeySequence& keys, std::function<void()> fn);
// Set to..., Add..., Multiply by %...; then Undo and Redo, each with its step.
void addValueCommands(QMenu* m, const std::function<void(TableOp)>& ask);
void addUndoCommands(QMenu* m, QUndoStack* stack);

} // namespace tables
