// Running statements: choosing the text, the batch of non-select statements, the select
// with its background fetch, the status bar, the read-only switch and the column widths.
#include "workspace/Work.h"

#include "data/Connection.h"
#include "data/DataError.h"
#include "data/Query.h"
#include "editor/SqlEdit.h"
#include "settings/Error.h"
#include "ui/ErrorHandler.h"
#include "ui/MainWindowIntf.h"
#include "ui/WorkerWait.h"
#include "workspace/DbNavigator.h"
#include "workspace/HistoryDialog.h"
#include "workspace/ResultGrid.h"
#include "workspace/ResultModel.h"
#include "workspace/SchemaErrorText.h"
#include "workspace/SqlExpression.h"
#include "workspace/StatusBar.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>
#include <QToolButton>

namespace {

const QString CrLf = QStringLiteral("\r\n");
constexpr qint64 ProgressInterval = 1000; // ms
// Rows shown while they arrive: the first screenful as soon as it is there, then the grid
// and the count grow at this pace (each growth moves the scroll bar under the user's hand).
constexpr int FirstRowsInterval = 50; // ms
constexpr int GrowInterval = 250;     // ms
constexpr int DefaultColumnWidth = 10;    // characters

enum TAccessMode { AccessNone = 0, AccessReadWrite = 1, AccessReadOnly = 2 };

QString AccessModeText(int mode) {
    switch (mode) {
    case AccessReadWrite:
        return QStringLiteral("RW");
    case AccessReadOnly:
        return QStringLiteral("RO");
    default:
        return {};
    }
}

bool IsTableNameDelimiter(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 0x20 && u <= 0x22) || (u >= 0x24 && u <= 0x2F) || u == 0x3A || u == 0x3B || u == 0x3F ||
           (u >= 0x5B && u <= 0x5D) || u == 0x7B || u == 0x7D || u == 0xA7;
}

bool IsBlankLine(const QString& line) {
    return TSqlExpression::IsBlank(line);
}

} // namespace

// --- Choosing the text

void TFrameWork::ExecuteAll() {
    m_runLine = 0;
    m_runColumn = 0;
    ExecuteSql(MemSql->Text());
}

void TFrameWork::ExecuteSelected() {
    if (!MemSql->HasSelection())
        return;
    MemSql->SelectionStart(&m_runLine, &m_runColumn);
    ExecuteSql(MemSql->SelectedText());
}

void TFrameWork::ExecuteLine() {
    const QString line = MemSql->LineText(MemSql->CaretLine());
    if (line.isEmpty())
        return;
    m_runLine = MemSql->CaretLine();
    m_runColumn = 0;
    ExecuteSql(line);
}

QString TFrameWork::LineGroupAt(const QStringList& lines, int line, int* firstLine) {
    if (line < 0 || line >= lines.size() || IsBlankLine(lines.at(line)))
        return {};
    QString text;
    for (int i = line; i >= 0 && !IsBlankLine(lines.at(i)); --i) {
        text = lines.at(i) + CrLf + text;
        if (firstLine)
            *firstLine = i;
    }
    for (int i = line + 1; i < lines.size() && !IsBlankLine(lines.at(i)); ++i)
        text += lines.at(i) + CrLf;
    return text;
}

void TFrameWork::ExecuteLineGroup() {
    int first = 0;
    const QString text = LineGroupAt(MemSql->Lines(), MemSql->CaretLine(), &first);
    if (text.isEmpty())
        return;
    m_runLine = first;
    m_runColumn = 0;
    ExecuteSql(text);
}

QString TFrameWork::TableNameAt(const QString& line, int column) {
    if (column < 0 || column > line.size())
        return {};
    int from = column;
    while (from > 0 && !IsTableNameDelimiter(line.at(from - 1)))
        --from;
    int to = column;
    while (to < line.size() && !IsTableNameDelimiter(line.at(to)))
        ++to;
    return line.mid(from, to - from);
}

void TFrameWork::ExecuteTable() {
    if (LbxTables->hasFocus()) {
        ExecuteListTable();
        return;
    }
    const QString name = TableNameAt(MemSql->LineText(MemSql->CaretLine()), MemSql->CaretColumn());
    if (!name.isEmpty())
        ExecuteSql(QStringLiteral("SELECT * FROM ") + name);
}

void TFrameWork::ExecuteListTable() {
    if (!LbxTables->currentItem())
        return;
    // A name from the database is data: quoted where needed, and run as the one select it is,
    // whatever characters it holds.
    ExecuteSql(QStringLiteral("SELECT * FROM ") + TableSqlName(LbxTables->currentItem()), true);
}

// --- Running

void TFrameWork::ExecuteSql(const QString& text, bool oneSelect) {
    // An export reads the result that a run would replace.
    StopOrAwaitExport();
    // Open waits in a local event loop, where the tab may be closed and this frame destroyed.
    const QPointer<TFrameWork> self(this);
    // The place a run from the editor started holds for this run only.
    const auto forgetPlace = qScopeGuard([this, self] {
        if (self)
            m_runLine = -1;
    });
    m_failedStatement = -1;
    // A second run while rows are arriving would close the result under the fetch; the run
    // actions are disabled then, and the history and the RO button end up here.
    if (m_busy)
        throw TError(QStringLiteral("Eine Abfrage wird noch ausgeführt. Warten Sie, bis alle Datensätze "
                                    "gelesen sind, oder brechen Sie die Abfrage ab"));
    // A record being edited is written before its result goes; when that fails the run
    // does not start and the record keeps what was typed.
    PostGridEdits();
    SetStatusText(2, QStringLiteral("---"));
    SetStatusText(4, QStringLiteral("---"));
    StatBar->repaint();
    CbxFieldsSorted->clear();
    m_cancelRequested = false;
    if (Qry->Active())
        SaveColumnWidths();
    m_startTime.start();
    m_nextProgressTime = ProgressInterval;
    DetachGrid();
    SetWaitCursor(true);

    MemSql->ClearErrorMark();
    const TSqlExpression expression(text, QStringLiteral(";"));
    try {
        if (oneSelect) {
            OpenSelect(text);
            return;
        }
        if (expression.AllNonSelect()) {
            RunBatch(expression.Statements());
            SetWaitCursor(false);
            return;
        }
        if (expression.StatementCount() > 1)
            throw TError(
                QStringLiteral("Mehrere SQL-Abfragen (%1) können nur dann gleichzeitig ausgeführt werden, "
                               "wenn sie keine Select-Abfragen sind")
                    .arg(expression.StatementCount()));
        OpenSelect(text);
    } catch (const std::exception& e) {
        if (!self)
            throw TAbort();
        PointAtError(e, text, expression, !oneSelect && expression.AllNonSelect());
        SetWaitCursor(false);
        m_awaitingCompletion = false;
        SetBusy(false);
        // Stopped by the user before it had run: the same account as a cancelled fetch (no
        // rows, the time marked as cancelled, the statement in the history). A message box
        // only when the provider reported more than the cancel itself.
        if (const auto* error = dynamic_cast<const TDataError*>(&e); error && m_cancelRequested) {
            ShowRecordCount(0, AccessNone);
            AddHistory(0, Qry->SqlText());
            // 57014: cancelled on request; HY008: the same from an ODBC driver.
            if (dynamic_cast<const TCancelledError*>(error) || error->SqlState() == QLatin1String("57014") ||
                error->SqlState() == QLatin1String("HY008"))
                throw TAbort();
            throw TError(QStringLiteral("Die Abfrage wurde abgebrochen: ") + error->Message());
        }
        // What the database refused is kept in the lasting history, marked as failed; an
        // empty text never reached it.
        if (const auto* error = dynamic_cast<const TDataError*>(&e); error && !Qry->SqlText().trimmed().isEmpty())
            RecordInHistory(DatabaseName(), -1, Qry->SqlText(), m_startTime.elapsed(), error->Message());
        throw;
    }
}

void TFrameWork::RunBatch(const QStringList& statements) {
    // A statement that reports no count (DDL: −1) adds nothing: "drop; create; insert of 2"
    // shows 2, not 0. Only a batch where no statement reported a count shows −1.
    qint64 total = -1;
    // While a statement runs, the time goes on in its panel once a second, as for a fetch.
    QTimer clock;
    clock.setInterval(int(ProgressInterval));
    connect(&clock, &QTimer::timeout, this, [this] {
        SetStatusText(4, QLocale::system().toString(SecondsSinceStart(), 'f', 3) + QStringLiteral(" s "));
    });
    clock.start();
    // After statements that changed tables the lists follow, however the batch ends.
    bool tablesChanged = false;
    const auto refreshLists = qScopeGuard([self = QPointer<TFrameWork>(this), &tablesChanged] {
        if (self && tablesChanged)
            self->RefreshListsAfterChange();
    });
    for (qsizetype i = 0; i < statements.size(); ++i) {
        const QString& statement = statements.at(i);
        Qry->SetSql(statement);
        Qry->SetExecuteOptions(TExecuteOption::Synchronous);
        qint64 n = -1;
        try {
            // The statement runs on a thread of its own: the window repaints meanwhile, and
            // Escape or Ctrl+Backspace cancel it (a cancel ends the batch as an error does).
            const std::function<qint64()> execute = Qry->PrepareExecSQL();
            RunInWorkerCancellable([&n, &execute] { n = execute(); }, [this] { CancelSql(); });
        } catch (const TError& e) {
            m_failedStatement = int(i);
            // In a batch the message says which statement failed.
            if (statements.size() < 2 || m_cancelRequested)
                throw;
            const QString message =
                QStringLiteral("Anweisung %1 von %2: ").arg(i + 1).arg(statements.size()) + e.Message();
            if (const auto* error = dynamic_cast<const TDataError*>(&e))
                throw TDataError(message, error->SqlState(), error->NativeCode(), error->Statement(),
                                 error->Position());
            throw TError(message);
        }
        tablesChanged = tablesChanged || ChangesTables(statement);
        if (n >= 0)
            total = qMax<qint64>(total, 0) + n;
        ShowRecordCount(total, AccessNone);
        AddHistory(n, statement);
        // A cancel that came as the statement ended still stops the batch here.
        if (m_cancelRequested)
            return;
    }
}

void TFrameWork::OpenSelect(const QString& text) {
    Qry->SetSql(text);
    ApplyReadOnlyMode();
    SetBusy(true);
    Qry->SetExecuteOptions(TExecuteOption::AsyncFetch);
    m_awaitingCompletion = true;
    // Open waits for the statement in a local event loop: the window repaints and the
    // cancel action runs meanwhile.
    Qry->Open();
    if (m_awaitingCompletion && ShowRowsWhileFetching())
        StartShowingWhileFetching();
}

bool TFrameWork::ShowRowsWhileFetching() const {
    const TMainWindowIntf* main = FrmMainIntf();
    return main && main->Action(QStringLiteral("ActSqlShowWhileFetching"))->isChecked();
}

void TFrameWork::StartShowingWhileFetching() {
    m_showingWhileFetching = true;
    RestoreColumnWidths();
    AttachGrid();
    // The window is the user's while rows arrive: the hourglass alone would say otherwise.
    if (m_waitCursor)
        QApplication::changeOverrideCursor(Qt::BusyCursor);
    if (!m_growTimer) {
        m_growTimer = new QTimer(this);
        connect(m_growTimer, &QTimer::timeout, this, [this] { GrowShownRows(); });
    }
    m_growTimer->start(FirstRowsInterval);
    m_nextProgressTime = -1; // the count of the rows attached is shown at once
    GrowShownRows();
}

void TFrameWork::GrowShownRows() {
    const qint64 count = Qry->RecordCount();
    const bool grown = count > Dsr->rowCount();
    if (grown)
        Dsr->GrowTo(count);
    // The time goes on once a second also when no row came.
    if (grown || m_startTime.elapsed() > m_nextProgressTime) {
        ShowRecordCount(count, AccessModeOfResult());
        m_nextProgressTime = m_startTime.elapsed() + ProgressInterval;
    }
    // setInterval restarts a running timer: only once, when the screen is full.
    if (m_growTimer->interval() != GrowInterval && Dsr->rowCount() >= GrdResults->FullRows())
        m_growTimer->setInterval(GrowInterval);
}

void TFrameWork::QryFetchProgress(qint64 progress, qint64) {
    if (!m_awaitingCompletion)
        return;
    if (m_cancelRequested) {
        Qry->Cancel();
        return;
    }
    if (m_showingWhileFetching) {
        // Until the grid is full, what arrived is shown at once; then the timer's pace holds.
        if (Dsr->rowCount() < GrdResults->FullRows())
            GrowShownRows();
        return;
    }
    if (m_startTime.elapsed() > m_nextProgressTime) {
        ShowRecordCount(progress, AccessModeOfResult());
        m_nextProgressTime = m_startTime.elapsed() + ProgressInterval;
    }
}

void TFrameWork::QryFetchComplete(const QString& error) {
    if (!m_awaitingCompletion)
        return;
    m_awaitingCompletion = false;
    const bool shown = std::exchange(m_showingWhileFetching, false);
    if (m_growTimer)
        m_growTimer->stop();
    SetBusy(false);
    try {
        const qint64 count = Qry->RecordCount();
        ShowRecordCount(count, AccessModeOfResult());
        AddHistory(count, Qry->SqlText());
        if (shown) {
            // The grid stays where the user took it; the last rows come, and editing may start.
            Dsr->GrowTo(count);
            Dsr->SetEditable(GridEditable());
        } else {
            RestoreColumnWidths();
            AttachGrid();
        }
    } catch (const std::exception& e) {
        ShowErrorText(QStringLiteral("SQL-Fehler: ") + SchemaErrorText(e) + CrLf + Qry->SqlText());
    }
    // A statement that names "select" runs this way too, as CREATE VIEW … AS SELECT does.
    if (ChangesTables(Qry->SqlText()))
        RefreshListsAfterChange();
    SetWaitCursor(false);
    // A fetch that broke off (connection lost, a value the driver could not read) must not
    // look like a complete result: the rows so far stay visible and the user is told. A
    // connection lost while cancelling is told as well (a server that did not answer the
    // cancel in time has its connection closed, and an open transaction is gone).
    if (!error.isEmpty() && (!m_cancelRequested || Qry->FetchConnectionLost()))
        ShowException(TError(QStringLiteral("Das Lesen der Datensätze wurde abgebrochen: ") + error));
}

void TFrameWork::CancelSql() {
    CancelExport();
    m_cancelRequested = true;
    // The fetch itself is stopped here as well, not only at the next progress report: a
    // slow row may keep that report from coming.
    if (m_awaitingCompletion)
        Qry->Cancel();
    ConnWork->Cancel();
}

// --- Grid

void TFrameWork::DetachGrid() {
    Dsr->SetRecordset(nullptr, false);
}

bool TFrameWork::GridEditable() const {
    return BtnReadOnly->isChecked() && Qry->Supports(TCursorOption::Update);
}

void TFrameWork::AttachGrid() {
    // Rows still arriving are not edited: a post would race the fetch on the connection.
    Dsr->SetRecordset(Qry, GridEditable() && !Qry->Fetching());
    QHeaderView* header = GrdResults->horizontalHeader();
    const QSignalBlocker block(header);
    const TFields& fields = Qry->Fields();
    for (int i = 0; i < fields.Count(); ++i)
        GrdResults->setColumnWidth(i, GrdResults->PixelsOf(fields[i].DisplayWidth()));
    LblText->hide();
    PnlBottom->show();
}

void TFrameWork::GrdResultsColumnResized(int column, int, int newSize) {
    // The user's width becomes the field's display width, which SaveColumnWidths keeps.
    if (Dsr->Recordset() == Qry && column < Qry->Fields().Count())
        Qry->Fields()[column].SetDisplayWidth(GrdResults->CharactersOf(newSize));
}

void TFrameWork::SaveColumnWidths() {
    const TFields& fields = Qry->Fields();
    for (int i = 0; i < fields.Count(); ++i)
        m_columnWidths[fields[i].Name().toLower()] = QString::number(fields[i].DisplayWidth());
}

void TFrameWork::RestoreColumnWidths() {
    const TFields& fields = Qry->Fields();
    for (int i = 0; i < fields.Count(); ++i) {
        bool ok = false;
        const int width = m_columnWidths.value(fields[i].Name().toLower()).toInt(&ok);
        fields[i].SetDisplayWidth(ok && width > 5 ? width : DefaultColumnWidth);
    }
}

// --- Status and mode

void TFrameWork::SetStatusText(int index, const QString& text) {
    StatBar->SetPanelText(index, text);
}

QString TFrameWork::StatusText(int index) const {
    return StatBar->PanelText(index);
}

double TFrameWork::SecondsSinceStart() const {
    return m_startTime.isValid() ? m_startTime.nsecsElapsed() / 1e9 : 0.0;
}

void TFrameWork::ShowRecordCount(qint64 count, int accessMode) {
    const QLocale locale = QLocale::system();
    SetStatusText(2, locale.toString(count));
    QString suffix;
    if (m_cancelRequested)
        suffix = QStringLiteral(" (abgebrochen)");
    else if (Qry->FetchShortage() == TFetchShortage::Memory)
        suffix = QStringLiteral(" (abgebrochen: Arbeitsspeicher voll)");
    else if (Qry->FetchShortage() == TFetchShortage::Disk)
        suffix = QStringLiteral(" (abgebrochen: Zwischendaten nicht ablegbar)"); // the message says why
    SetStatusText(4, locale.toString(SecondsSinceStart(), 'f', 3) + QStringLiteral(" s ") + suffix);
    SetStatusText(0, AccessModeText(accessMode));
    StatBar->repaint();
}

int TFrameWork::AccessModeOfResult() const {
    return Qry->Supports(TCursorOption::Update) && Qry->LockType() == TLockType::Optimistic ? AccessReadWrite
                                                                                            : AccessReadOnly;
}

void TFrameWork::ShowErrorText(const QString& text) {
    LblText->setText(text);
    LblText->show();
    PnlBottom->hide();
}

void TFrameWork::ApplyReadOnlyMode() {
    QPalette palette = BtnReadOnly->palette();
    if (BtnReadOnly->isChecked()) {
        Qry->SetLockType(TLockType::Optimistic);
        BtnReadOnly->setText(QStringLiteral("RW"));
        palette.setColor(QPalette::ButtonText, Qt::red);
        BtnReadOnly->setToolTip(QStringLiteral("Read/write"));
    } else {
        Qry->SetLockType(TLockType::ReadOnly);
        BtnReadOnly->setText(QStringLiteral("RO"));
        palette.setColor(QPalette::ButtonText, Qt::black);
        BtnReadOnly->setToolTip(QStringLiteral("Read only"));
    }
    BtnReadOnly->setPalette(palette);
}

void TFrameWork::BtnReadOnlyClick() {
    if (Qry->Active())
        ExecuteSql(Qry->SqlText());
    else
        ApplyReadOnlyMode();
}

void TFrameWork::SetBusy(bool value) {
    m_busy = value;
    // The switch cannot re-run while rows arrive; rather than refuse the click, it waits.
    BtnReadOnly->setEnabled(!value);
    if (TMainWindowIntf* main = FrmMainIntf())
        main->UpdateActions();
}

void TFrameWork::SetWaitCursor(bool on) {
    if (on == m_waitCursor)
        return;
    m_waitCursor = on;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}
