// "Ergebnis exportieren..." in the real main window: the key, the save dialog answered by
// keys, the progress and the result in the status bar, the remembered format, the table name
// of the SQL file, and a run, a close or Escape while an export is running.
#include "app/Main.h"
#include "catalogue/InputQueryExt.h"
#include "data/Connection.h"
#include "data/Query.h"
#include "editor/SqlEdit.h"
#include "tests/workspace/WorkTestBase.h"
#include "ui/MsgBox.h"
#include "workspace/ResultGrid.h"
#include "workspace/ResultModel.h"
#include "workspace/Work.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Calls `answer` with the modal widget of type W once it is shown (from the event loop that
// shows it).
template <class W>
void WhenShown(std::function<void(W*)> answer, int attempts = 400) {
    QTimer::singleShot(10, [answer, attempts] {
        if (auto* w = qobject_cast<W*>(QApplication::activeModalWidget())) {
            answer(w);
            return;
        }
        if (attempts > 0)
            WhenShown<W>(answer, attempts - 1);
        else
            qWarning("no dialog came");
    });
}

// Answers the save dialog as a user does: the format chosen with the arrow keys in the
// type box, the file name typed, "Speichern" clicked; a question to replace a file is
// answered "Ja".
void AnswerSaveDialog(const QString& filter, const QString& path, QString* offeredFilter = nullptr) {
    WhenShown<QFileDialog>([=](QFileDialog* dialog) {
        if (offeredFilter)
            *offeredFilter = dialog->selectedNameFilter();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        const int wanted = types->findText(filter);
        while (types->currentIndex() != wanted && wanted >= 0)
            QTest::keyClick(types, types->currentIndex() < wanted ? Qt::Key_Down : Qt::Key_Up);
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(name, path);
        // The name completion's list, as a user dismisses it.
        if (QWidget* popup = QApplication::activePopupWidget())
            QTest::keyClick(popup, Qt::Key_Escape);
        if (QFile::exists(path))
            WhenShown<QMessageBox>([](QMessageBox* box) {
                QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
            });
        auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        QTest::mouseClick(buttons->button(QDialogButtonBox::Save), Qt::LeftButton);
    });
}

} // namespace

class TstWorkExport : public TWorkTestBase {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void exportByKeyAndDialog();
    void sqlFileAsksTheTableName();
    void commandOnlyWithAResult();
    void runWhileExportingAsks_data();
    void runWhileExportingAsks();
    void escapeAndClosingStopTheExport();
    void heldEditIsPostedFirst();

private:
    TFrameWork* OpenRun(const QString& sql, const QString& script = {});
    void PressExport(TFrameWork* work);
    QString m_folder;
    QTemporaryDir m_dir;
};

void TstWorkExport::initTestCase() {
    SetUpApplication();
    m_folder = m_dir.path();
}

void TstWorkExport::init() {
    StartWindow();
}

void TstWorkExport::cleanup() {
    StopWindow();
}

TFrameWork* TstWorkExport::OpenRun(const QString& sql, const QString& script) {
    const QString db = Database(
        QStringLiteral("export"),
        script.isEmpty() ? QStringLiteral("create table t(id integer primary key, name text, amount real, day date);"
                                          "insert into t values (1, 'Grüße, \"Welt\"', 2.5, '2024-02-29');"
                                          "insert into t values (2, '', null, null);")
                         : script);
    TFrameWork* work = Open(QStringLiteral("export"), db);
    Run(work, sql);
    work->GrdResults->setFocus();
    return work;
}

void TstWorkExport::PressExport(TFrameWork* work) {
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QTest::keyClick(work->GrdResults, Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
    // The main window is active again once the dialog has gone, as on a desktop.
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void TstWorkExport::exportByKeyAndDialog() {
    TFrameWork* work = OpenRun(QStringLiteral("select * from t order by id"));
    const QString json = m_folder + QStringLiteral("/result.json");
    QString offered;
    AnswerSaveDialog(QStringLiteral("JSON (*.json)"), json, &offered);
    PressExport(work);
    QCOMPARE(offered, QStringLiteral("CSV (*.csv)"));
    QTRY_VERIFY(!work->Exporting());
    // Values as stored, not as the German grid shows them.
    QCOMPARE(ReadAll(json), QByteArray("[\n{\"id\":1,\"name\":\"Gr\xC3\xBC\xC3\x9F"
                                       "e, \\\"Welt\\\"\",\"amount\":2.5,\"day\":\"2024-02-29\"},\n"
                                       "{\"id\":2,\"name\":\"\",\"amount\":null,\"day\":null}\n]\n"));
    QCOMPARE(work->StatusText(4).section(QLatin1Char(','), 0, 0), QStringLiteral("Export: 2 Datensätze"));
    QCOMPARE(work->StatusText(5), QStringLiteral("Exportiert nach ") + json);

    // The format chosen last is offered again; an existing file is replaced when confirmed.
    const QString sheet = m_folder + QStringLiteral("/result.csv");
    WriteAll(sheet, "old");
    AnswerSaveDialog(QStringLiteral("CSV für Tabellenkalkulation (*.csv)"), sheet, &offered);
    PressExport(work);
    QCOMPARE(offered, QStringLiteral("JSON (*.json)"));
    QTRY_VERIFY(!work->Exporting());
    QCOMPARE(ReadAll(sheet), QByteArray("\xEF\xBB\xBFid;name;amount;day\r\n"
                                        "1;\"Gr\xC3\xBC\xC3\x9F"
                                        "e, \"\"Welt\"\"\";2,5;29.02.2024\r\n2;\"\";;\r\n"));
}

void TstWorkExport::sqlFileAsksTheTableName() {
    TFrameWork* work = OpenRun(QStringLiteral("select id, name from t where id = 1"));
    const QString sql = m_folder + QStringLiteral("/result.sql");
    AnswerSaveDialog(QStringLiteral("SQL (*.sql)"), sql);
    QString offered;
    WhenShown<TFrmInputQueryExt>([&offered](TFrmInputQueryExt* ask) {
        auto* edit = ask->Edt;
        offered = edit->text();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(edit, QStringLiteral("Neue Tabelle"));
        QTest::keyClick(edit, Qt::Key_Return);
    }, 1000);
    PressExport(work);
    QTRY_VERIFY(!work->Exporting());
    QCOMPARE(offered, QStringLiteral("t"));
    QCOMPARE(ReadAll(sql),
             QByteArray("INSERT INTO \"Neue Tabelle\" (id, name) VALUES (1, 'Gr\xC3\xBC\xC3\x9F"
                        "e, \"Welt\"');\n"));
}

void TstWorkExport::commandOnlyWithAResult() {
    TFrameWork* work = OpenRun(QStringLiteral("select * from t"));
    QAction* command = m_window->Action(QStringLiteral("ActSqlExport"));
    QVERIFY(command->isEnabled());
    QCOMPARE(command->shortcut().toString(QKeySequence::NativeText), QStringLiteral("Strg+Umsch+E"));
    auto* sqlMenu = m_window->findChild<QMenu*>(QStringLiteral("MnuSql"));
    QVERIFY(sqlMenu->actions().contains(command));
    // The grid's menu ends with the command behind a separator.
    const QList<QAction*> items = work->PopMnuGrd->actions();
    QVERIFY(items.at(items.size() - 2)->isSeparator());
    QCOMPARE(items.last(), work->MnuPopGrdExport);
    // A statement without rows leaves nothing to export.
    Run(work, QStringLiteral("update t set name = name"));
    QVERIFY(!command->isEnabled());
    bool disabled = false;
    QTimer::singleShot(0, this, [&] {
        QTRY_VERIFY(work->PopMnuGrd->isVisible());
        disabled = !work->MnuPopGrdExport->isEnabled();
        work->PopMnuGrd->close();
    });
    RightClick(work->GrdResults->viewport(), QPoint(10, 10));
    QTRY_VERIFY(!work->PopMnuGrd->isVisible());
    QVERIFY(disabled);
}

void TstWorkExport::runWhileExportingAsks_data() {
    QTest::addColumn<bool>("stop");
    QTest::newRow("Ja stops the export") << true;
    QTest::newRow("Nein waits for it") << false;
}

void TstWorkExport::runWhileExportingAsks() {
    QFETCH(bool, stop);
    TFrameWork* work = OpenRun(
        QStringLiteral("select * from big"),
        QStringLiteral("create table big(id integer, name text);"
                       "with recursive n(x) as (select 1 union all select x + 1 from n where x < 2000000) "
                       "insert into big select x, 'Name ' || x from n;"));
    const QString csv = m_folder + QStringLiteral("/big.csv");
    WriteAll(csv, "earlier");
    AnswerSaveDialog(QStringLiteral("CSV (*.csv)"), csv);
    PressExport(work);
    QVERIFY(work->Exporting());
    MsgBox::ScriptAnswers({stop ? MsgBox::Button::Yes : MsgBox::Button::No});
    work->MemSql->SetLines({QStringLiteral("select count(*) from big")});
    QTest::keyClick(work->MemSql, Qt::Key_Return, Qt::ControlModifier);
    QCOMPARE(MsgBox::TakeShownTexts(),
             QStringList{QStringLiteral("Das Ergebnis wird noch nach %1 exportiert. Soll der Export abgebrochen "
                                        "werden?\r\n(Nein: warten, bis er fertig ist)")
                             .arg(csv)});
    QVERIFY(!work->Exporting());
    QTRY_VERIFY(!work->Busy());
    QCOMPARE(work->Qry->Value(0, 0).toLongLong(), 2000000);
    if (stop) {
        QCOMPARE(ReadAll(csv), QByteArray("earlier"));
        QCOMPARE(work->StatusText(5), QString());
    } else {
        const QByteArray written = ReadAll(csv);
        QVERIFY(written.startsWith("id,name\r\n1,Name 1\r\n"));
        QVERIFY(written.endsWith("\r\n2000000,Name 2000000\r\n"));
    }
    QCOMPARE(QDir(m_folder).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral(".tmp")), QStringList());
}

void TstWorkExport::escapeAndClosingStopTheExport() {
    TFrameWork* work = OpenRun(
        QStringLiteral("select * from big"),
        QStringLiteral("create table big(id integer, name text);"
                       "with recursive n(x) as (select 1 union all select x + 1 from n where x < 2000000) "
                       "insert into big select x, 'Name ' || x from n;"));
    const QString json = m_folder + QStringLiteral("/big.json");
    WriteAll(json, "earlier");
    AnswerSaveDialog(QStringLiteral("JSON (*.json)"), json);
    PressExport(work);
    QVERIFY(work->Exporting());
    QVERIFY(work->StatusText(4).startsWith(QStringLiteral("Export: ")));
    QTest::keyClick(work->MemSql, Qt::Key_Escape);
    QTRY_VERIFY(!work->Exporting());
    QCOMPARE(work->StatusText(4), QStringLiteral("Export abgebrochen"));
    QCOMPARE(ReadAll(json), QByteArray("earlier"));

    // Closing the tab asks as well; "Ja" stops the export and the tab goes.
    AnswerSaveDialog(QStringLiteral("JSON (*.json)"), json);
    PressExport(work);
    QVERIFY(work->Exporting());
    MsgBox::ScriptAnswers({MsgBox::Button::Yes});
    QTest::keyClick(work->MemSql, Qt::Key_F4, Qt::ControlModifier);
    QCOMPARE(MsgBox::TakeShownTexts().size(), 1);
    QCOMPARE(m_window->findChild<QTabWidget*>(QStringLiteral("PageControl"))->count(), 0);
    QCOMPARE(ReadAll(json), QByteArray("earlier"));
}

void TstWorkExport::heldEditIsPostedFirst() {
    TFrameWork* work = OpenRun(QStringLiteral("select id, name from t order by id"));
    work->BtnReadOnly->click();
    QTRY_VERIFY(!work->Busy());
    QVERIFY(work->Dsr->Editable());
    QAbstractItemView* grid = work->GrdResults;
    grid->setCurrentIndex(work->Dsr->index(1, 1));
    QTest::keyClick(grid, Qt::Key_F2);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("neu"));
    const QString csv = m_folder + QStringLiteral("/edited.csv");
    AnswerSaveDialog(QStringLiteral("CSV (*.csv)"), csv);
    PressExport(work);
    QTRY_VERIFY(!work->Exporting());
    QCOMPARE(ReadAll(csv), QByteArray("id,name\r\n1,\"Gr\xC3\xBC\xC3\x9F"
                                      "e, \"\"Welt\"\"\"\r\n2,neu\r\n"));
    TConnection check;
    check.Open(work->Connection()->ConnectionString());
    TQuery q;
    q.SetConnection(&check);
    q.SetSql(QStringLiteral("select name from t where id = 2"));
    q.Open();
    QCOMPARE(q.Value(0, 0).toString(), QStringLiteral("neu"));
    // The grid is editable again afterwards, on the same record.
    QVERIFY(work->Dsr->Editable());
    QCOMPARE(grid->currentIndex(), work->Dsr->index(1, 1));
}

QTEST_MAIN(TstWorkExport)
#include "tst_workexport.moc"
