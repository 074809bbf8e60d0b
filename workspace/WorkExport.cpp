// "Ergebnis exportieren...": the save dialog, the export on its worker with its progress in
// status panel 4, cancelling it, and what a run, a refresh, RO/RW or a close do meanwhile.
#include "workspace/Work.h"

#include "catalogue/InputQueryExt.h"
#include "data/Connection.h"
#include "data/Query.h"
#include "export/ExportJob.h"
#include "settings/Error.h"
#include "settings/IniFileEx.h"
#include "ui/ErrorHandler.h"
#include "ui/MainWindowIntf.h"
#include "ui/MsgBox.h"
#include "ui/WorkerWait.h"
#include "workspace/ResultGrid.h"
#include "workspace/ResultModel.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QTimer>

namespace {

const QString SectionExport = QStringLiteral("Export");
const QString IdentFormat = QStringLiteral("Format");
const QString IdentFolder = QStringLiteral("Folder");
constexpr int ProgressInterval = 200; // ms

// Escape anywhere in the workspace's window stops its export, unless a dialog is open.
class TExportEscape : public QObject {
public:
    TExportEscape(QWidget* workspace, std::function<void()> cancel)
        : QObject(workspace), m_workspace(workspace), m_cancel(std::move(cancel)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
            !QApplication::activeModalWidget() && m_workspace->isVisible() &&
            m_workspace->window()->isActiveWindow()) {
            m_cancel();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* m_workspace;
    std::function<void()> m_cancel;
};

// The table of a select that reads one table, else "export".
QString DefaultTableName(const TFields& fields) {
    QString table;
    for (int i = 0; i < fields.Count(); ++i) {
        const QString base = fields[i].Info().BaseTable;
        if (base.isEmpty() || (!table.isEmpty() && base != table))
            return QStringLiteral("export");
        table = base;
    }
    return table.isEmpty() ? QStringLiteral("export") : table;
}

} // namespace

bool TFrameWork::Exporting() const {
    return m_export != nullptr;
}

bool TFrameWork::CanExport() const {
    return HasResult() && !Busy() && !Exporting();
}

void TFrameWork::AddExportToGridMenu() {
    PopMnuGrd->addSeparator();
    // The shortcut belongs to the main window's command; here it is only shown.
    QString caption = QStringLiteral("Ergebnis e&xportieren...");
    if (TMainWindowIntf* main = FrmMainIntf())
        caption += u'\t' + main->Action(QStringLiteral("ActSqlExport"))->shortcut().toString(QKeySequence::NativeText);
    MnuPopGrdExport = PopMnuGrd->addAction(caption);
    MnuPopGrdExport->setObjectName(QStringLiteral("MnuPopGrdExport"));
    connect(MnuPopGrdExport, &QAction::triggered, this, [this] { RunGuarded([this] { ExportResult(); }); });
    connect(PopMnuGrd, &QMenu::aboutToShow, this, [this] { MnuPopGrdExport->setEnabled(CanExport()); });
    // The main window's command follows whether a result is shown.
    connect(Dsr, &TResultModel::StateChanged, this, [] {
        if (TMainWindowIntf* main = FrmMainIntf())
            main->UpdateActions();
    });
}

void TFrameWork::ExportResult() {
    if (!CanExport())
        return;
    // A record in edit state goes to the database first, as before a run; when that fails
    // the export does not start and the reason is shown.
    PostGridEdits();

    TIniFileEx& store = *SettingsStore();
    QFileDialog dialog(this, QStringLiteral("Ergebnis exportieren"));
    dialog.setObjectName(QStringLiteral("DlgExport"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(TExportFormats::Filters());
    const QString filter = store.ReadString(SectionExport, IdentFormat, TExportFormats::Filters().first());
    const TExportFormat lastFormat = TExportFormats::FromFilter(filter);
    dialog.selectNameFilter(TExportFormats::Filter(lastFormat));
    dialog.setDefaultSuffix(TExportFormats::Suffix(lastFormat));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& selected) {
        dialog.setDefaultSuffix(TExportFormats::Suffix(TExportFormats::FromFilter(selected)));
    });
    const QString folder = store.ReadString(SectionExport, IdentFolder, QDir::homePath());
    dialog.setDirectory(QFileInfo(folder).isDir() ? folder : QDir::homePath());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString target = dialog.selectedFiles().first();
    TExportOptions options;
    options.Format = TExportFormats::FromFilter(dialog.selectedNameFilter());
    if (!store.ReadOnly()) {
        store.WriteString(SectionExport, IdentFormat, TExportFormats::Filter(options.Format));
        store.WriteString(SectionExport, IdentFolder, QFileInfo(target).absolutePath());
    }

    if (options.Format == TExportFormat::Sql) {
        QString table = DefaultTableName(Qry->Fields());
        if (!TFrmInputQueryExt::InputQuery(QStringLiteral("Ergebnis exportieren"), QStringLiteral("&Tabellenname:"),
                                           table) ||
            table.trimmed().isEmpty())
            return;
        table = table.trimmed();
        // A name with a dot or a quote is SQL the user wrote (schema.table, "Name"); any other
        // is one name, quoted where the database would not read it as itself.
        const bool written = table.contains(QLatin1Char('.')) || table.contains(QLatin1Char('"')) ||
                             table.contains(QLatin1Char('`')) || table.contains(QLatin1Char('['));
        options.SqlTable = written ? table : ConnWork->SqlName(table);
        for (int i = 0; i < Qry->Fields().Count(); ++i)
            options.SqlFieldNames.append(ConnWork->SqlName(Qry->Fields()[i].Name()));
        options.Dialect = TExportFormats::DialectFor(ConnWork->ProviderName(), ConnWork->ConnectionString());
    }
    StartExport(options, target);
}

void TFrameWork::StartExport(const TExportOptions& options, const QString& target) {
    // Nothing may change the rows while the worker reads them: the grid is read-only meanwhile.
    m_exportGridEditable = Dsr->Editable();
    if (m_exportGridEditable)
        Dsr->SetEditable(false);
    // Released by deleteLater: the job may end from inside its own queued hand-over.
    m_export = std::shared_ptr<TExportJob>(new TExportJob(*Qry, options, target),
                                           [](TExportJob* job) { job->deleteLater(); });
    connect(m_export.get(), &TExportJob::Finished, this,
            [this](const QString& error, bool cancelled) { ExportFinished(error, cancelled); });
    m_exportClock.start();
    m_exportTimer = new QTimer(this);
    connect(m_exportTimer, &QTimer::timeout, this, [this] { ShowExportProgress(); });
    m_exportTimer->start(ProgressInterval);
    m_exportEscape = new TExportEscape(this, [this] { CancelExport(); });
    qApp->installEventFilter(m_exportEscape);
    SetStatusText(5, QString());
    m_export->Start();
    ShowExportProgress();
    if (TMainWindowIntf* main = FrmMainIntf())
        main->UpdateActions();
}

void TFrameWork::ShowExportProgress() {
    if (!m_export)
        return;
    const QLocale locale = QLocale::system();
    const qint64 total = m_export->Total();
    const qint64 written = m_export->Written();
    const int percent = total > 0 ? int(written * 100 / total) : 100;
    SetStatusText(4, QStringLiteral("Export: %1 von %2 Datensätzen (%3 %)")
                         .arg(locale.toString(written), locale.toString(total), locale.toString(percent)));
}

void TFrameWork::CancelExport() {
    if (m_export)
        m_export->Cancel();
}

void TFrameWork::ExportFinished(const QString& error, bool cancelled) {
    const std::shared_ptr<TExportJob> job = std::move(m_export);
    delete m_exportTimer;
    m_exportTimer = nullptr;
    delete m_exportEscape;
    m_exportEscape = nullptr;
    if (m_exportGridEditable)
        Dsr->SetEditable(GridEditable());
    const QLocale locale = QLocale::system();
    if (cancelled) {
        SetStatusText(4, QStringLiteral("Export abgebrochen"));
    } else if (!error.isEmpty()) {
        SetStatusText(4, QStringLiteral("Export fehlgeschlagen"));
    } else {
        SetStatusText(4, QStringLiteral("Export: %1 Datensätze, %2 s")
                             .arg(locale.toString(job->Written()),
                                  locale.toString(m_exportClock.nsecsElapsed() / 1e9, 'f', 3)));
        SetStatusText(5, QStringLiteral("Exportiert nach %1").arg(QDir::toNativeSeparators(job->Target())));
    }
    if (TMainWindowIntf* main = FrmMainIntf())
        main->UpdateActions();
    if (!error.isEmpty())
        ShowException(TError(QStringLiteral("Der Export ist fehlgeschlagen; die Datei ist unverändert. ") + error));
}

void TFrameWork::StopOrAwaitExport() {
    if (!m_export)
        return;
    const MsgBox::Button answer = MsgBox::Show(
        QStringLiteral("Das Ergebnis wird noch nach %1 exportiert. Soll der Export abgebrochen werden?\r\n"
                       "(Nein: warten, bis er fertig ist)")
            .arg(QDir::toNativeSeparators(m_export->Target())),
        MsgBox::Kind::Confirm, {MsgBox::Button::Yes, MsgBox::Button::No}, this);
    if (answer == MsgBox::Button::Yes)
        m_export->Cancel();
    // The window repaints and the progress goes on while waiting; Escape still stops it.
    // The job may finish inside the wait: this reference keeps it until the waiting ends.
    const std::shared_ptr<TExportJob> job = m_export;
    TExportJob* const raw = job.get();
    RunInWorkerCancellable([raw] { raw->AwaitEnd(); }, [raw] { raw->Cancel(); });
    job->Wait();
}

void TFrameWork::AbandonExport() {
    if (!m_export)
        return;
    // The workspace goes: the job must not read the rows any more, nor report to it.
    disconnect(m_export.get(), nullptr, this, nullptr);
    m_export->Cancel();
    m_export->Wait();
    m_export.reset();
}

