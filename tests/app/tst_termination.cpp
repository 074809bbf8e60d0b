#include "app/Main.h"
#include "app/Termination.h"
#include "catalogue/DBLst.h"
#include "settings/IniFileEx.h"
#include "ui/ErrorHandler.h"
#include "ui/KeyNames.h"
#include "ui/MsgBox.h"
#include "workspace/Work.h"
#include "editor/SqlEdit.h"
#include "tests/support/TestSupport.h"

#include <QProcess>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <memory>

#include <sqlite3.h>

// The program asked to end by signals, as a desktop session's end or `kill` does: a child
// process runs the real main window, the parent sends real signals and reads what was stored.
class TstTermination : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void signalsInARowCloseAsTheUserWould();
    void closeWaitsForARunningConnectionTest();
    void lockedStoreKeepsTheWindowUntilItCanStore();
    void closeStalledForTenSecondsEndsOnTheNextSignal();
    void lockedCloseSaysTheWindowStaysOpen();

private:
    // In the child: the window with a workspace holding typed SQL; "connect" also starts a
    // connection test against a server that never answers. Ends the process when the window
    // has closed.
    [[noreturn]] void RunChild(const QString& mode);
    // Starts the child running this test function and waits until it is ready for signals.
    void StartChild(QProcess& child, const QString& mode);
    QStringList StoredSql() const;
    QString Database() const;

    std::unique_ptr<TIniFileEx> m_store;
};

namespace {

const char* const ChildVariable = "TABULO_TERMINATION_CHILD";

// The other program that holds the store's write lock.
class TLockHolder {
public:
    explicit TLockHolder(const QString& file) {
        sqlite3_open(QFile::encodeName(file).constData(), &m_db);
        m_locked = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~TLockHolder() { sqlite3_close(m_db); }
    bool Locked() const { return m_locked; }
    void Release() { sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr); }

private:
    sqlite3* m_db = nullptr;
    bool m_locked = false;
};

void Send(const QProcess& child, int signal) {
    ::kill(pid_t(child.processId()), signal);
}

} // namespace

void TstTermination::initTestCase() {
    QApplication::setApplicationName(QStringLiteral("Tabulo"));
    InstallGermanTexts(*QCoreApplication::instance());
    MsgBox::SetAutoAnswer(true);
}

void TstTermination::init() {
    // The child shares the parent's store file: only the parent starts it afresh.
    if (!qEnvironmentVariableIsSet(ChildVariable))
        QFile::remove(qEnvironmentVariable("TABULO_SETTINGS"));
    m_store = std::make_unique<TIniFileEx>();
    SetSettingsStore(m_store.get());
    if (!qEnvironmentVariableIsSet(ChildVariable)) {
        QFile(Database()).open(QIODevice::WriteOnly); // an empty file is an empty SQLite database
        m_store->WriteValueList(TFrameDBLst::CatalogueSection(),
                                {QStringLiteral("Lager=Provider=SQLite;Data Source=") + Database()});
    }
    MsgBox::TakeShownTexts();
}

void TstTermination::cleanup() {
    SetSettingsStore(nullptr);
    m_store.reset();
}

QString TstTermination::Database() const {
    return qEnvironmentVariable("TABULO_TEST_TMP") + QStringLiteral("/lager.sqlite");
}

QStringList TstTermination::StoredSql() const {
    QStringList lines;
    m_store->ReadValueList(TIniFileEx::WorkspaceSqlSection(QStringLiteral("Lager")), lines);
    return lines;
}

void TstTermination::RunChild(const QString& mode) {
    MsgBox::SetAutoAnswer(false); // boxes wait for an answer as in the program
    TFrmMain window;
    window.show();
    CloseOnTerminationSignals(&window);
    window.OpenWorkspace(QStringLiteral("Lager"), QStringLiteral("Provider=SQLite;Data Source=") + Database());
    window.CurrentWorkspace()->MemSql->SetLines({QStringLiteral("select 42")});
    const auto ready = [] {
        std::fputs("bereit\n", stdout);
        std::fflush(stdout);
    };
    const TestSupport::TSilentServer server;
    if (mode == QLatin1String("connect")) {
        window.FrameDBLst->DataLinkPrompt = [&](const QString&) {
            ready(); // the connection test starts now
            return QStringLiteral("Provider=PostgreSQL;Data Source=127.0.0.1:%1;Initial Catalog=x;User ID=u;"
                                  "Password=p;Connect Timeout=3")
                .arg(server.Port());
        };
        QTimer::singleShot(0, &window, [&] { RunGuarded([&] { window.FrameDBLst->AddDatabase(QString()); }); });
    } else {
        ready();
    }
    while (window.isVisible())
        QTest::qWait(50);
    std::fflush(stdout);
    std::_Exit(0);
}

void TstTermination::StartChild(QProcess& child, const QString& mode) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QLatin1String(ChildVariable), mode);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(QTest::currentTestFunction())});
    QVERIFY(child.waitForStarted());
    QByteArray output;
    for (int i = 0; i < 600 && !output.contains("bereit\n") && child.state() == QProcess::Running; ++i)
        if (child.waitForReadyRead(100))
            output += child.readAllStandardOutput();
    QVERIFY2(output.contains("bereit\n"), output.constData());
}

#define CHILD_OR(mode)                                                                             \
    if (qEnvironmentVariableIsSet(ChildVariable))                                                  \
        RunChild(qEnvironmentVariable(ChildVariable));                                             \
    QProcess child;                                                                                \
    StartChild(child, QStringLiteral(mode));                                                       \
    if (QTest::currentTestFailed())                                                                \
        return;

// A session's end sends TERM and HUP at once (Ctrl+C adds INT): the second signal must not
// end the program before the close has stored the SQL text.
void TstTermination::signalsInARowCloseAsTheUserWould() {
    CHILD_OR("work");
    for (const int signal : {SIGTERM, SIGHUP, SIGINT, SIGTERM})
        Send(child, signal);
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(StoredSql(), QStringList{QStringLiteral("select 42")});
}

// A close asked for while a connection test waits for a silent server is kept until the test
// has ended, then carried out; the question that follows the failed test is answered Cancel.
void TstTermination::closeWaitsForARunningConnectionTest() {
    CHILD_OR("connect");
    Send(child, SIGTERM);
    Send(child, SIGHUP);
    QVERIFY(!child.waitForFinished(1000)); // still waiting for the server
    Send(child, SIGTERM);
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(StoredSql(), QStringList{QStringLiteral("select 42")});
    QStringList catalogue;
    m_store->ReadValueList(TFrameDBLst::CatalogueSection(), catalogue);
    QCOMPARE(catalogue.size(), 1); // the new entry was not kept
}

// Another program holds the settings locked: the close is refused and tried again, further
// signals meanwhile do not end the program, and once the lock is gone everything is stored.
void TstTermination::lockedStoreKeepsTheWindowUntilItCanStore() {
    CHILD_OR("work");
    TLockHolder lock(m_store->FileName());
    QVERIFY(lock.Locked());
    Send(child, SIGTERM);
    Send(child, SIGHUP);
    QVERIFY(!child.waitForFinished(3000));
    Send(child, SIGTERM);
    lock.Release();
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(StoredSql(), QStringList{QStringLiteral("select 42")});
}

// A close that keeps being refused with nothing to wait for has visibly stalled: from then
// on the next request ends the program at once.
void TstTermination::closeStalledForTenSecondsEndsOnTheNextSignal() {
    CHILD_OR("work");
    TLockHolder lock(m_store->FileName());
    QVERIFY(lock.Locked());
    Send(child, SIGTERM);
    for (int i = 0; i < 60 && !child.waitForFinished(1000); ++i)
        Send(child, SIGHUP);
    QCOMPARE(child.state(), QProcess::NotRunning);
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    QVERIFY(StoredSql().isEmpty());
}

namespace {
QStringList g_logged;
void Collect(QtMsgType, const QMessageLogContext&, const QString& message) {
    g_logged.append(message);
}
} // namespace

// A close refused because another program holds the settings says that the window stays
// open and that closing again tries again; nothing in English goes to stderr for it.
void TstTermination::lockedCloseSaysTheWindowStaysOpen() {
    TFrmMain window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();
    MsgBox::TakeShownTexts();
    TLockHolder lock(m_store->FileName());
    QVERIFY(lock.Locked());
    g_logged.clear();
    const QtMessageHandler previous = qInstallMessageHandler(Collect);
    const bool closed = window.close();
    qInstallMessageHandler(previous);
    QVERIFY(!closed);
    const QStringList shown = MsgBox::TakeShownTexts();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().contains(QStringLiteral("von einem anderen Programm benutzt")), qPrintable(shown.first()));
    QVERIFY2(shown.first().endsWith(QStringLiteral("Das Fenster bleibt geöffnet, damit nichts verloren geht. "
                                                   "Erneutes Schließen versucht das Speichern noch einmal.")),
             qPrintable(shown.first()));
    for (const QString& line : std::as_const(g_logged))
        QVERIFY2(!line.contains(QStringLiteral("locked")) && !line.contains(QStringLiteral("not written")),
                 qPrintable(line));
    lock.Release();
    QVERIFY(window.close());
}

QTEST_MAIN(TstTermination)
#include "tst_termination.moc"
