#pragma once

#include <QToolBar>
#include <functional>

class QAction;
class TResultGrid;
class TResultModel;

// The record navigator Nav above the result grid: first, prior, next, last, insert, delete,
// edit, post, cancel and refresh on the grid's current row. The changing commands are
// enabled only while the shown result is editable. GUI thread.
class TDbNavigator : public QToolBar {
    Q_OBJECT
public:
    TDbNavigator(TResultGrid* grid, TResultModel* model, QWidget* parent);

    // Runs the shown statement again (the workspace does that, not the navigator).
    void SetRefreshHandler(std::function<void()> handler) { m_refresh = std::move(handler); }
    // Enables the commands that fit the shown result and the current row.
    void UpdateButtons();
    QAction* Button(const QString& name) const;

private:
    QAction* AddButton(const char* name, const char* hint, const QIcon& icon,
                       void (TDbNavigator::*handler)());
    void MoveTo(int row);
    void NavFirst();
    void NavPrior();
    void NavNext();
    void NavLast();
    void NavInsert();
    void NavDelete();
    void NavEdit();
    void NavPost();
    void NavCancel();
    void NavRefresh();

    TResultGrid* m_grid;
    TResultModel* m_model;
    std::function<void()> m_refresh;
};
