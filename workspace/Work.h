#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QWidget>
#include <memory>

class QComboBox;
class QItemSelection;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QAction;
class QSplitter;
class QTimer;
class QTableWidget;
class QToolButton;
class TConnection;
class TDbNavigator;
class TEditorRecovery;
class TExportJob;
class TFindDialog;
class THeaderBar;
class TProviderTypes;
class TQuery;
class TRecordset;
class TResultGrid;
class TResultModel;
class TSqlEdit;
class TSqlExpression;
class TNameReader;
class TStatusBar;
struct TExportOptions;

// One open database in a tab: the SQL editor, the result grid, the tables and fields lists,
// the statement history and the status bar, on its own connection. The interface is here;
// the behaviour lives in one file per concern (Work.cpp: layout, open and close;
// WorkExecute.cpp: running statements and fetching; WorkSchema.cpp: the schema lists;
// WorkHistory.cpp: the history). GUI thread only; rows of a select are fetched by the data
// layer, whose notifications arrive here through the event loop.
class TFrameWork : public QWidget {
    Q_OBJECT
public:
    explicit TFrameWork(QWidget* parent = nullptr);
    ~TFrameWork() override;

    const QString& DatabaseName() const { return m_databaseName; }
    void SetDatabaseName(const QString& name) { m_databaseName = name; }
    QString SettingsSection() const;

    // Connects and restores the saved state; throws when the database cannot be opened.
    void OpenDatabase(const QString& name, const QString& connectionString);
    // Saves the editor text and the pane sizes; neither cancels a statement nor disconnects.
    void CloseDatabase();

    // --- Running statements (WorkExecute.cpp)
    bool Busy() const { return m_busy; }
    void ExecuteAll();
    void ExecuteSelected();
    void ExecuteLine();
    void ExecuteLineGroup();
    void ExecuteTable();
    void CancelSql();
    // Runs a text: all non-select statements one after the other, or one select whose rows
    // are fetched in the background. Refused while a select is still being fetched. A text
    // the program built as one select (oneSelect) is run as such, never cut into statements.
    void ExecuteSql(const QString& text, bool oneSelect = false);
    void SetStatusText(int index, const QString& text);
    QString StatusText(int index) const;
    void ShowRecordCount(qint64 count, int accessMode);
    void ShowErrorText(const QString& text);
    void ApplyReadOnlyMode();
    void BtnReadOnlyClick();
    // The name around a column of a line for "Tabelle anzeigen"; empty beyond the line's end.
    static QString TableNameAt(const QString& line, int column);
    // The block of adjoining non-blank lines around a line, each followed by CR LF; its first
    // line in `firstLine` when given.
    static QString LineGroupAt(const QStringList& lines, int line, int* firstLine = nullptr);
    // The line and column in `text` (lines counted as TSqlExpression cuts them) of the place
    // `position` of `statement`, which a provider ran as a piece of `text`; false when the
    // piece is not found in the text (WorkErrorPlace.cpp).
    static bool PlaceInText(const QString& text, const QString& statement, qsizetype position, int* line,
                            int* column);

    // --- Schema lists (WorkSchema.cpp)
    // With onWorker the rows are read on a thread of its own while the window repaints; only
    // where nothing else can use the connection meanwhile (right after connecting).
    void RefreshTables(bool onWorker = false);
    void RefreshFields();
    void ReadFieldsByQuery();
    void InsertIntoSql(const QString& text);
    static QString LastSelectedItem(const QListWidget* list);
    static QString SelectedItemsText(const QListWidget* list);
    static void DeselectAll(QListWidget* list);
    // The names of the selected entries as SQL names of the connection, joined by ", ".
    QString SelectedSqlNames(const QListWidget* list);
    // An entry of the tables list as SQL: qualified with its schema where the bare name would
    // find another table or none.
    QString TableSqlName(const QListWidgetItem* table);
    // Hands the tables list's names to the editor's names list; none when the list could not
    // be read (WorkNames.cpp).
    void UpdateEditorNames(bool readable);
    // Whether a statement may change which tables and views there are, their names or fields.
    static bool ChangesTables(const QString& statement);

    // --- Object information (WorkObjectInfo.cpp)
    QString ColumnInfo(const QString& table, const QString& column);
    QString IndexInfo(const QString& table);
    static QString IndexFlags(const TRecordset& indexesRow);
    // The lines of IndexInfo from the rows of an INDEXES rowset, appended to result.
    static void AppendIndexLines(TRecordset& indexes, QString& result);

    // --- Connection report (WorkReport.cpp)
    QString BuildConnectionReport();
    static QString SchemaRowText(const TRecordset& row);

    // --- History (WorkHistory.cpp)
    void AddHistory(qint64 count, const QString& text);
    void ShiftHistory();
    void FitHistoryColumns();

    // --- Later parts
    void ShowConnectionInfo();

    // --- Result grid: copying, the field list, the record buffer (WorkGrid.cpp)
    void MnuPopGrdCopyCellClick();
    void MnuPopGrdCopyRowClick();
    // Copies the current column, or every column when `all`, of every record.
    void MnuPopGrdCopyAllClick(bool all);
    void MnuPopGrdWithFieldsClick();
    // The query holds a result and the grid shows it.
    bool HasResult() const;
    void MnuPopGrdCopyFieldnameClick();
    void CbxFieldsDropDown();
    void CbxFieldsCloseUp();
    QString FieldNamesLine() const;
    QString RowLine() const;
    // Writes the record being edited in the grid; throws when the database refuses it, and
    // the record keeps what the user typed. Runs before a result is replaced or closed.
    void PostGridEdits();

    // --- Exporting the result to a file (WorkExport.cpp)
    bool Exporting() const;
    // A result is shown, no statement runs and no export either.
    bool CanExport() const;
    // "Ergebnis exportieren...": asks for the file and its format, then writes it on a worker.
    void ExportResult();
    void CancelExport();
    // Before a run or a close: asks whether to stop a running export, then waits for its end.
    void StopOrAwaitExport();

    // --- Searching in the result or the editor (WorkSearch.cpp)
    bool CanSearch() const;
    void ShowFindDialog();
    // "Wiederholen": searches again from after the last match.
    void FindNext();
    bool FindNext(bool first);

    // The control that gets the keyboard focus when the workspace is shown.
    QWidget* MemSqlWidget() const;
    TConnection* Connection() const { return ConnWork; }
    TQuery* Query() const { return Qry; }
    // The provider's type catalogue, read when the database was opened.
    const TProviderTypes* ProviderTypes() const { return m_providerTypes.get(); }

    // Components, named as their objectName.
    TConnection* ConnWork = nullptr;
    TQuery* Qry = nullptr;
    TStatusBar* StatBar = nullptr;
    QSplitter* Splitter4 = nullptr; // left side | right side
    QWidget* PnlLeft = nullptr;
    QSplitter* Splitter1 = nullptr; // editor / result area
    QWidget* PnlLeftTop = nullptr;
    TSqlEdit* MemSql = nullptr;
    QWidget* PnlLeftBottomArea = nullptr;
    QWidget* PnlBottom = nullptr;
    THeaderBar* PnlLeftMiddle = nullptr;
    QComboBox* CbxFieldsSorted = nullptr;
    QToolButton* BtnReadOnly = nullptr;
    TDbNavigator* Nav = nullptr;
    TResultGrid* GrdResults = nullptr;
    TResultModel* Dsr = nullptr;
    QLabel* LblText = nullptr;
    QWidget* PnlRight = nullptr;
    QSplitter* Splitter3 = nullptr; // tables / (fields, history)
    QWidget* PnlRightTables = nullptr;
    THeaderBar* PnlTables = nullptr;
    QListWidget* LbxTables = nullptr;
    QSplitter* Splitter2 = nullptr; // fields / history
    QWidget* PnlRightFields = nullptr;
    THeaderBar* PnlFields = nullptr;
    QToolButton* BtnFieldsSort = nullptr;
    QListWidget* LbxFields = nullptr;
    QWidget* PnlRightHistory = nullptr;
    THeaderBar* PnlHeader = nullptr;
    QTableWidget* GrdHistory = nullptr;
    QMenu* PopMnuMemSql = nullptr;
    QMenu* PopMnuGrd = nullptr;
    QAction* MnuPopGrdCopyCell = nullptr;
    QAction* MnuPopGrdCopyRow = nullptr;
    QAction* MnuPopGrdCopyColumn = nullptr;
    QAction* MnuPopGrdCopyAll = nullptr;
    QAction* MnuPopGrdWithFields = nullptr;
    QAction* MnuPopGrdCopyFieldname = nullptr;
    QAction* MnuPopGrdExport = nullptr;
    TFindDialog* FindDialog = nullptr;
    // The control focused in the main window when the find dialog was last opened.
    QWidget* SearchControl = nullptr;
    bool FirstSearch = false;
    QMenu* PopMnuHistory = nullptr;
    QMenu* PopMnuLbx = nullptr;
    QAction* PopMnuLbxInsert = nullptr;
    QAction* PopMnuLbxInsertSelect = nullptr;
    QAction* PopMnuLbxTableSelect = nullptr;
    QAction* PopMnuLbxSelectAll = nullptr;
    QAction* PopMnuLbxSelectNone = nullptr;
    QAction* PopMnuLbxRefresh = nullptr;
    QAction* PopMnuLbxInfo = nullptr;
    QAction* PopMnuHistoryInsert = nullptr;
    QAction* PopMnuHistoryExecute = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Layout (Work.cpp)
    void CreateLayout();
    QWidget* CreateLeftSide();
    QWidget* CreateRightSide();
    QWidget* CreateResultPanel();
    void CreateMemSqlMenu();
    int PnlLeftWidth() const;
    // Sets the four pane sizes; the default left width leaves the right side 197 pixels.
    void ApplySizes();
    // Opens ConnWork off the GUI thread (WorkOpen.cpp); Escape abandons with TAbort.
    void ConnectWork(const QString& connectionString);
    // Keeps a recovery copy of the editor text; shows a newer one left by a crash.
    void StartRecovery(const QStringList& storedLines);
    void PnlRightResize();

    // Execution (WorkExecute.cpp)
    void SetBusy(bool value);
    // "Tabelle anzeigen" for the current entry of the tables list.
    void ExecuteListTable();
    void SetWaitCursor(bool on);
    void RunBatch(const QStringList& statements);
    // Moves the caret to the place a failed statement's error names and marks it, when the
    // text ran from the editor and the provider said where (WorkErrorPlace.cpp).
    void PointAtError(const std::exception& error, const QString& text, const TSqlExpression& expression,
                      bool batch);
    void OpenSelect(const QString& text);
    // The option "Zeilen schon beim Laden zeigen" of the main window.
    bool ShowRowsWhileFetching() const;
    // The grid shows the rows of the running fetch and grows with them.
    void StartShowingWhileFetching();
    void GrowShownRows();
    void DetachGrid();
    void AttachGrid();
    // Whether the result may be edited once its rows are all there.
    bool GridEditable() const;
    void SaveColumnWidths();
    void RestoreColumnWidths();
    void QryFetchProgress(qint64 progress, qint64 maxProgress);
    void QryFetchComplete(const QString& error);
    int AccessModeOfResult() const;
    double SecondsSinceStart() const;
    void GrdResultsColumnResized(int column, int oldSize, int newSize);

    // Result grid (WorkGrid.cpp)
    void CreateGridMenu();
    void FillFieldList();
    QString GridCellText(qint64 row, int column) const;
    QList<int> VisibleColumns() const;
    // The selected cells as lines of TAB-separated values, in row and column order.
    QString SelectedBlockText(const QItemSelection& selection) const;

    // Export (WorkExport.cpp)
    void AddExportToGridMenu();
    void StartExport(const TExportOptions& options, const QString& target);
    void ShowExportProgress();
    void ExportFinished(const QString& error, bool cancelled);
    void AbandonExport();

    // Searching (WorkSearch.cpp)
    void FindDialogFind();
    bool SearchGrid(bool first);
    // What a grid search looks for.
    struct TGridSearch {
        QString Wanted;
        bool MatchCase;
        bool WholeWord;
        int EditRow;
    };
    bool SearchRecord(qint64 row, bool first, bool isStartRecord, const TGridSearch& search);
    bool MatchField(qint64 row, int column, const TGridSearch& search) const;
    bool SearchEditor(bool first);

    // Schema lists (WorkSchema.cpp)
    void LbxTablesClick();
    void LbxTablesDblClick();
    void BtnFieldsSortClick();
    void SetListError(QListWidget* list, const QString& what, const QString& message);
    // After statements that changed tables: the tables list reloaded with its selection kept,
    // and the fields of the chosen table.
    void RefreshListsAfterChange();
    void LbxFieldsClick();
    void LbxFieldsDblClick();

    // The lists' context menu and its keys (WorkListMenu.cpp)
    void CreateListMenu();
    bool ListKeyEvent(QEvent* event);
    void PopMnuLbxPopup(QListWidget* list, const QPoint& position);
    void PopMnuLbxInsertClick();
    void PopMnuLbxInsertSelectClick();
    void PopMnuLbxSelectAllClick();
    void PopMnuLbxSelectNoneClick();
    void PopMnuLbxRefreshClick();
    void PopMnuLbxInfoClick();

    // History (WorkHistory.cpp)
    void CreateHistory();
    void GrdHistoryDblClick();
    void GrdHistoryMouseMove(const QPoint& position);
    void PopMnuHistoryPopup(const QPoint& position);
    void PopMnuHistoryInsertClick();
    void PopMnuHistoryExecuteClick();
    QString FirstSelectedHistoryText() const;

    QString m_databaseName;
    // The list on which PopMnuLbx was opened last; kept after the menu has closed.
    QListWidget* m_lbxMenuList = nullptr;
    std::unique_ptr<TProviderTypes> m_providerTypes;
    std::unique_ptr<TEditorRecovery> m_recovery;
    QElapsedTimer m_startTime;
    qint64 m_nextProgressTime = 0; // milliseconds since m_startTime
    bool m_cancelRequested = false;
    // Where the text about to run starts in the editor (line -1: not from the editor), and
    // which statement of a batch failed.
    int m_runLine = -1;
    int m_runColumn = 0;
    int m_failedStatement = -1;
    // Reads columns for the editor's names list; made with the first names.
    TNameReader* m_nameReader = nullptr;
    bool m_busy = false;
    bool m_waitCursor = false;
    // An asynchronous open whose single completion is still to come.
    bool m_awaitingCompletion = false;
    // The grid shows the fetch's rows while they arrive, grown by m_growTimer.
    bool m_showingWhileFetching = false;
    QTimer* m_growTimer = nullptr;
    // The pane sizes to apply once the frame has its real size (-1: the default).
    int m_sizeLeftTop = 82;
    int m_sizeLeft = -1;
    int m_sizeRightTables = 105;
    int m_sizeRightFields = 129;
    bool m_sizesShown = false;
    bool m_sizesSettled = false;
    // The running export; the grid is read-only meanwhile (m_exportGridEditable: it was
    // editable before).
    std::shared_ptr<TExportJob> m_export;
    QTimer* m_exportTimer = nullptr;
    QObject* m_exportEscape = nullptr;
    QElapsedTimer m_exportClock;
    bool m_exportGridEditable = false;
    // Display widths in characters by lower-case field name.
    QHash<QString, QString> m_columnWidths;
};
