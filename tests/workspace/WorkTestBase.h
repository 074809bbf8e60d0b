#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QAbstractItemView;
class QAction;
class QLineEdit;
class QMenu;
class QPoint;
class QWidget;
class TFrameWork;
class TFrmMain;
class TIniFileEx;

// What the workspace tests share: the real main window on a fresh settings store, SQLite
// databases made from a script, and running SQL as the user would.
class TWorkTestBase : public QObject {
public:
    TWorkTestBase();
    ~TWorkTestBase() override;

protected:
    // Selects whose rows keep coming until cancelled: SQLite counts without end; a
    // set-returning function in PostgreSQL's select list streams its rows.
    static constexpr const char* EndlessSelect =
        "with recursive n(x) as (select 1 union all select x + 1 from n) select x from n";
    static constexpr const char* EndlessPostgresSelect = "select generate_series(1, 500000000) as x";
    // Application name, German texts, message boxes answered.
    static void SetUpApplication();
    // A fresh store without recovery copies, the main window shown.
    void StartWindow();
    // Running fetches cancelled and ended, window and store gone.
    void StopWindow();

    // A new SQLite file in the test's folder, filled by script; its connection string.
    static QString Database(const QString& name, const QString& script);
    TFrameWork* Open(const QString& name, const QString& connectionString);
    // Runs a text as Ctrl+Enter would and waits for the fetch to end.
    void Run(TFrameWork* work, const QString& text);
    void Trigger(const char* action);

    // A right click as the window system delivers it: through the widget's window, which
    // turns the press into a context menu event for the widget under the mouse.
    static void RightClick(QWidget* widget, const QPoint& position);
    // A double click as the window system delivers it: two clicks in quick succession, of
    // which Qt makes the double click (QTest's widget double click sends that event alone).
    static void DoubleClick(QWidget* widget, const QPoint& position);
    // The cell editor open in a grid, or null; whether one is open.
    static QLineEdit* CellEditor(const QAbstractItemView* view);
    static bool Editing(const QAbstractItemView* view) { return CellEditor(view) != nullptr; }
    // Clicks an entry of a menu that is showing (or about to show).
    static void ChooseInMenu(QMenu* menu, QAction* action);

    std::unique_ptr<TIniFileEx> m_store;
    std::unique_ptr<TFrmMain> m_window;
};
