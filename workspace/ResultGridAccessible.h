#pragma once

#include <QModelIndex>

class QAccessibleInterface;
class QObject;
class QString;
class TResultGrid;

// Assistive technology sees GrdResults as a table: its size, the titles as column
// descriptions, every cell by row and column with its value, the selection and the current
// cell (Qt builds table interfaces only for its own view classes). The children are the cells
// on screen, row by row: a result of millions of rows has no list of all its cells. GUI thread.
namespace ResultGridAccessible {

// The factory that Qt asks for the interface of a TResultGrid.
QAccessibleInterface* Factory(const QString& className, QObject* object);
// Tells assistive technology that the current cell of a focused grid changed.
void NotifyCurrentCell(TResultGrid* grid, const QModelIndex& current);

} // namespace ResultGridAccessible
