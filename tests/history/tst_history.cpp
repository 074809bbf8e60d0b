// The statement history on real files: search rules, pruning, masking, unwritable and locked
// files, and a writer killed with SIGKILL.
#include "history/HistoryStore.h"
#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>
#include <csignal>
#include <sys/stat.h>

namespace {

THistoryEntry Entry(const QString& statement, const QString& database = QStringLiteral("Lager")) {
    THistoryEntry e;
    e.database = database;
    e.started = 1700000000000;
    e.duration = 12;
    e.records = 3;
    e.statement = statement;
    return e;
}

QStringList Statements(const QList<THistoryEntry>& hits) {
    QStringList result;
    for (const THistoryEntry& e : hits)
        result.append(e.statement);
    return result;
}

int Mode(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

} // namespace

class TestHistory : public QObject {
    Q_OBJECT
private slots:
    void searchRules_data();
    void searchRules();
    void keepsEverythingRecorded();
    void prunesOldestFirst();
    void zeroRecordsNothing();
    void keptText_data();
    void keptText();
    void removesChosenEntries();
    void readOnlyFileSaysSoOnce();
    void lockedFileSaysSoOnce();
    void survivesSigkill();
};

void TestHistory::searchRules_data() {
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QStringList>("expected");
    const QString all;
    // Stored oldest first: hits come newest first.
    QTest::newRow("one word anywhere") << "kunde" << all
                                       << QStringList{"DELETE FROM kunden_alt", "SELECT * FROM Kunden WHERE ort = 'Köln'"};
    QTest::newRow("inside a word") << "unde" << all
                                   << QStringList{"DELETE FROM kunden_alt", "SELECT * FROM Kunden WHERE ort = 'Köln'"};
    QTest::newRow("all words must match") << "kunden köln" << all
                                          << QStringList{"SELECT * FROM Kunden WHERE ort = 'Köln'"};
    QTest::newRow("word order free") << "köln select" << all
                                     << QStringList{"SELECT * FROM Kunden WHERE ort = 'Köln'"};
    QTest::newRow("umlaut case folded") << "KÖLN" << all << QStringList{"SELECT * FROM Kunden WHERE ort = 'Köln'"};
    QTest::newRow("umlaut as typed") << "koln" << all << QStringList{};
    QTest::newRow("short word") << "ö" << all
                                << QStringList{"UPDATE größe SET x = 1", "SELECT * FROM Kunden WHERE ort = 'Köln'"};
    QTest::newRow("short and long") << "ok größe" << all << QStringList{};
    QTest::newRow("short like wildcards are text") << "%" << all << QStringList{};
    QTest::newRow("two letters") << "x =" << all << QStringList{"UPDATE größe SET x = 1"};
    QTest::newRow("quote in word") << "'köln'" << all << QStringList{"SELECT * FROM Kunden WHERE ort = 'Köln'"};
    QTest::newRow("fts syntax is text") << "\"AND OR" << all << QStringList{};
    QTest::newRow("this database only") << "from" << "Archiv" << QStringList{"DELETE FROM kunden_alt"};
    QTest::newRow("empty: everything of the database") << "" << "Lager"
                                                       << QStringList{"UPDATE größe SET x = 1",
                                                                      "SELECT * FROM Kunden WHERE ort = 'Köln'"};
}

void TestHistory::searchRules() {
    QFETCH(QString, search);
    QFETCH(QString, database);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    THistoryStore store(dir.filePath(QStringLiteral("history.sqlite")));
    store.Record(Entry(QStringLiteral("SELECT * FROM Kunden WHERE ort = 'Köln'")));
    store.Record(Entry(QStringLiteral("DELETE FROM kunden_alt"), QStringLiteral("Archiv")));
    store.Record(Entry(QStringLiteral("UPDATE größe SET x = 1")));
    store.Flush();
    QCOMPARE(Statements(store.Search(search, database)), expected);
}

void TestHistory::keepsEverythingRecorded() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("neu/Tabulo/history.sqlite"));
    {
        THistoryStore store(file);
        THistoryEntry e = Entry(QStringLiteral("SELEC 1"));
        e.failed = true;
        e.records = -1;
        e.error = QStringLiteral("Syntaxfehler bei »SELEC«\nZEILE 1: SELEC 1");
        store.Record(e);
        store.Flush();
    }
    QCOMPARE(Mode(QFileInfo(file).absolutePath()), 0700);
    QCOMPARE(Mode(QFileInfo(file).absolutePath() + QStringLiteral("/..")), 0700);
    QCOMPARE(Mode(file), 0600);
    THistoryStore reopened(file);
    const QList<THistoryEntry> hits = reopened.Search(QString(), QString());
    QCOMPARE(hits.size(), 1);
    const THistoryEntry& e = hits.first();
    QCOMPARE(e.database, QStringLiteral("Lager"));
    QCOMPARE(e.started, 1700000000000);
    QCOMPARE(e.duration, 12);
    QCOMPARE(e.records, -1);
    QVERIFY(e.failed);
    QCOMPARE(e.error, QStringLiteral("Syntaxfehler bei »SELEC«"));
    QCOMPARE(reopened.Statement(e.id), QStringLiteral("SELEC 1"));
}

void TestHistory::prunesOldestFirst() {
    QTemporaryDir dir;
    THistoryStore store(dir.filePath(QStringLiteral("history.sqlite")), 3);
    for (int i = 1; i <= 5; ++i) {
        store.Record(Entry(QStringLiteral("SELECT %1").arg(i)));
        store.Flush(); // one batch each: pruning must hold per write, not only per batch
    }
    for (int i = 6; i <= 9; ++i)
        store.Record(Entry(QStringLiteral("SELECT %1").arg(i)));
    store.Flush();
    QCOMPARE(Statements(store.Search(QString(), QString())), (QStringList{"SELECT 9", "SELECT 8", "SELECT 7"}));
    // The full-text index loses the pruned ones too.
    QVERIFY(store.Search(QStringLiteral("SELECT 5"), QString()).isEmpty());
    QCOMPARE(store.Search(QStringLiteral("select"), QString()).size(), 3);
}

void TestHistory::zeroRecordsNothing() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("history.sqlite"));
    {
        THistoryStore store(file);
        store.Record(Entry(QStringLiteral("SELECT 'alt'")));
        store.Flush();
    }
    THistoryStore store(file, 0);
    QVERIFY(!store.CanRecord());
    store.Record(Entry(QStringLiteral("SELECT 'neu'")));
    store.Flush();
    QCOMPARE(Statements(store.Search(QString(), QString())), QStringList{"SELECT 'alt'"});
}

void TestHistory::keptText_data() {
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("kept");
    QTest::newRow("alter user") << "ALTER USER bob WITH PASSWORD 'geheim'" << "ALTER USER bob WITH PASSWORD '***'";
    QTest::newRow("create role, lower case, quote inside")
        << "create role x login password 'it''s; geheim' valid until 'infinity'"
        << "create role x login password '***' valid until 'infinity'";
    QTest::newRow("encrypted, two statements")
        << "ALTER ROLE a ENCRYPTED PASSWORD 'x1';\nALTER ROLE b PASSWORD 'y2'"
        << "ALTER ROLE a ENCRYPTED PASSWORD '***';\nALTER ROLE b PASSWORD '***'";
    QTest::newRow("identified by") << "CREATE USER u IDENTIFIED BY 'pw'" << "CREATE USER u IDENTIFIED BY '***'";
    QTest::newRow("password null stays") << "ALTER USER bob PASSWORD NULL" << "ALTER USER bob PASSWORD NULL";
    QTest::newRow("line breaks at the end go") << "SELECT 1\r\n\r\n" << "SELECT 1";
    QTest::newRow("a column named password stays") << "SELECT password FROM users WHERE name = 'bob'"
                                                   << "SELECT password FROM users WHERE name = 'bob'";
}

void TestHistory::keptText() {
    QFETCH(QString, statement);
    QFETCH(QString, kept);
    QCOMPARE(THistoryStore::KeptText(statement), kept);
}

void TestHistory::removesChosenEntries() {
    QTemporaryDir dir;
    THistoryStore store(dir.filePath(QStringLiteral("history.sqlite")));
    // A statement over 1 MB, cut in the middle of a two-byte character.
    const QString big = QStringLiteral("SELECT '") + QString(THistoryStore::MaxStatementBytes / 2, QChar(0xE4)) +
                        QStringLiteral("'");
    store.Record(Entry(big));
    store.Record(Entry(QStringLiteral("SELECT 2")));
    store.Record(Entry(QStringLiteral("SELECT 3")));
    store.Flush();
    QList<THistoryEntry> hits = store.Search(QString(), QString());
    QCOMPARE(hits.size(), 3);
    const QString kept = store.Statement(hits.at(2).id);
    QVERIFY(kept.startsWith(big.left(1000)));
    QVERIFY(kept.endsWith(QStringLiteral("\n-- (gekürzt: die Anweisung war 1.048.585 Bytes lang)")));
    QVERIFY(kept.toUtf8().size() <= THistoryStore::MaxStatementBytes + 100);
    QVERIFY(!kept.contains(QChar::ReplacementCharacter));
    store.Remove({hits.at(0).id, hits.at(2).id});
    QCOMPARE(Statements(store.Search(QString(), QString())), QStringList{"SELECT 2"});
    QVERIFY(store.Search(QStringLiteral("SELECT 3"), QString()).isEmpty());
}

void TestHistory::readOnlyFileSaysSoOnce() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("history.sqlite"));
    {
        THistoryStore store(file);
        store.Record(Entry(QStringLiteral("SELECT 'vorher'")));
        store.Flush();
    }
    if (!TestSupport::SetUnwritable(file, true))
        QSKIP("this system lets the test write a read-only file");
    THistoryStore store(file);
    QSignalSpy failures(&store, &THistoryStore::Failure);
    QVERIFY(!store.CanRecord());
    store.Record(Entry(QStringLiteral("SELECT 'nachher'")));
    store.Record(Entry(QStringLiteral("SELECT 'nochmal'")));
    store.Flush();
    QTest::qWait(50);
    QCOMPARE(failures.size(), 1);
    QVERIFY(failures.at(0).at(0).toString().contains(QStringLiteral("schreibgeschützt")));
    // Searching still works on what is there.
    QCOMPARE(Statements(store.Search(QString(), QString())), QStringList{"SELECT 'vorher'"});
    TestSupport::SetUnwritable(file, false);
}

void TestHistory::lockedFileSaysSoOnce() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("history.sqlite"));
    THistoryStore store(file);
    QSignalSpy failures(&store, &THistoryStore::Failure);
    sqlite3* other = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(file).constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    store.Record(Entry(QStringLiteral("SELECT 1")));
    store.Flush(); // waits out the lock time-out
    store.Record(Entry(QStringLiteral("SELECT 2")));
    store.Flush();
    QVERIFY(failures.wait(5000) || failures.size() == 1);
    QCOMPARE(failures.size(), 1);
    QVERIFY(failures.at(0).at(0).toString().contains(QStringLiteral("von einem anderen Programm benutzt")));
    QVERIFY(!store.CanRecord());
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
}

void TestHistory::survivesSigkill() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("history.sqlite"));
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TABULO_HISTORY_CHILD"), file);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForReadyRead(30000));
    QCOMPARE(child.readLine().trimmed(), QByteArray("recorded"));
    // A second after the run, as the user would close the lid or the system kills the program.
    QTest::qWait(1000);
    ::kill(pid_t(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    THistoryStore store(file);
    QCOMPARE(Statements(store.Search(QStringLiteral("vor dem kill"), QString())),
             QStringList{"SELECT 'vor dem Kill'"});
}

// The child of survivesSigkill: records one statement, says so, and waits to be killed.
static int RunChild(const QString& file) {
    THistoryStore store(file);
    store.Record(Entry(QStringLiteral("SELECT 'vor dem Kill'")));
    fputs("recorded\n", stdout);
    fflush(stdout);
    for (;;)
        QThread::sleep(1);
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsSet("TABULO_HISTORY_CHILD")) {
        QCoreApplication app(argc, argv);
        return RunChild(qEnvironmentVariable("TABULO_HISTORY_CHILD"));
    }
    QCoreApplication app(argc, argv);
    TestHistory test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_history.moc"
