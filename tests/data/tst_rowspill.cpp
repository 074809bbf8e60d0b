// Results beyond the memory budget: the row store's temporary file, and a fetch that runs out
// of memory or of room for that file (in a child process under a resource limit).

#include "data/Connection.h"
#include "data/DataError.h"
#include "data/Query.h"
#include "data/RowBudget.h"
#include "data/RowStore.h"
#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr qint64 MiB = qint64(1) << 20;

QByteArray NameOf(qint64 i) {
    return QByteArray::number(i).rightJustified(40, '#');
}

void AppendRows(TRowStore& store, qint64 from, qint64 to) {
    for (qint64 i = from; i < to; ++i) {
        const QByteArray name = NameOf(i);
        store.BeginRow();
        store.AddInt(i);
        store.AddText(name.constData(), name.size());
        store.EndRow();
    }
}

bool RowIsIntact(const TRowStore& store, qint64 i) {
    const TCell id = store.Cell(i, 0);
    const TCell name = store.Cell(i, 1);
    return id.Int == i && QByteArray(name.Data, name.Size) == NameOf(i);
}

// The open files of this process below a folder: (descriptor path, permission bits).
QList<QPair<QString, int>> OpenFilesIn(const QString& folder) {
    QList<QPair<QString, int>> files;
    const QString canonical = QDir(folder).canonicalPath();
    for (const QString& fd : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System)) {
        const QString link = QStringLiteral("/proc/self/fd/") + fd;
        if (!QFile::symLinkTarget(link).startsWith(canonical + u'/'))
            continue;
        struct stat st {};
        if (::stat(QFile::encodeName(link).constData(), &st) == 0)
            files.append({link, int(st.st_mode & 07777)});
    }
    return files;
}

qint64 StatusKb(const char* key) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').first().toLongLong();
    return 0;
}

// In the child: a fetch of an endless series under the given limits; prints what it saw and
// returns 0 when it ended as a cancel would, with the expected cause.
int RunLimitedFetch(int argc, char** argv, const QByteArray& kind) {
    QCoreApplication app(argc, argv);
    TConnection c;
    c.Open(QStringLiteral("Provider=SQLite;Data Source=:memory:"));
    TFetchShortage expected = TFetchShortage::Memory;
    if (kind == "memory") {
        // The budget stays high: memory itself has to run out.
        TRowBudget::SetLimit(64 * 1024 * MiB);
        const rlim_t limit = rlim_t(StatusKb("VmSize:") * 1024 + 256 * MiB);
        const rlimit r{limit, limit};
        setrlimit(RLIMIT_AS, &r);
    } else {
        expected = TFetchShortage::Disk;
        TRowBudget::SetLimit(4 * MiB);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit r{rlim_t(24 * MiB), rlim_t(24 * MiB)};
        setrlimit(RLIMIT_FSIZE, &r);
    }
    TQuery q;
    q.SetConnection(&c);
    q.SetSql(QStringLiteral("WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s) "
                            "SELECT i, printf('%0100d', i) FROM s"));
    q.SetExecuteOptions(TExecuteOption::AsyncFetch);
    QString error;
    QEventLoop loop;
    QObject::connect(&q, &TQuery::FetchComplete, &loop, [&](const QString& e) {
        error = e;
        loop.quit();
    });
    q.Open();
    loop.exec();
    const qint64 rows = q.RecordCount();
    const bool lastRowReadable = rows > 0 && q.Value(rows - 1, 0).toLongLong() == rows;
    printf("rows=%lld shortage=%d readable=%d error=%s\n", rows, int(q.FetchShortage()), int(lastRowReadable),
           error.toUtf8().constData());
    const QString cause = expected == TFetchShortage::Memory
                              ? QStringLiteral("Nicht genug Arbeitsspeicher")
                              : QStringLiteral("Kein Platz für Zwischendaten in ");
    return q.FetchShortage() == expected && lastRowReadable && error.startsWith(cause) ? 0 : 1;
}

} // namespace

class TestRowSpill : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QVERIFY(m_folder.isValid());
        TRowBudget::SetSpillFolder(m_folder.path());
    }
    void cleanup() {
        TRowBudget::SetLimit(0);
        TRowBudget::SetSpillFolder({});
    }

    void defaultBudgetIsAQuarterOfTheMemoryAtMostTwoGiB() {
        const qint64 physical = qint64(sysconf(_SC_PHYS_PAGES)) * sysconf(_SC_PAGESIZE);
        QCOMPARE(TRowBudget::DefaultLimit(), std::min(physical / 4, qint64(2048) * MiB));
        TRowBudget::SetLimit(0);
        QCOMPARE(TRowBudget::Limit(), TRowBudget::DefaultLimit());
    }

    void spilledRowsReadTheSameWhileRowsArrive() {
        TRowBudget::SetLimit(8 * MiB);
        const qint64 rows = 600000; // about 30 MB of rows
        qint64 files = 0;
        {
            TRowStore store(2);
            std::atomic<bool> failed{false};
            std::thread writer([&] { AppendRows(store, 0, rows); });
            qint64 checked = 0;
            while (checked < rows) {
                const qint64 count = store.RowCount();
                for (; checked < count; checked += 89)
                    if (!RowIsIntact(store, checked))
                        failed = true;
            }
            writer.join();
            QVERIFY(!failed);
            QVERIFY2(store.SpilledBytes() > 16 * MiB, qPrintable(QString::number(store.SpilledBytes())));
            QVERIFY(TRowBudget::InMemory() <= 8 * MiB + 8 * MiB); // the blocks being filled stay
            for (qint64 i : {qint64(0), qint64(1), rows / 2, rows - 1})
                QVERIFY(RowIsIntact(store, i));
            // The file has no name and only its owner may read it.
            QCOMPARE(QDir(m_folder.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
            const auto open = OpenFilesIn(m_folder.path());
            files = open.size();
            QCOMPARE(files, 1);
            QCOMPARE(open.first().second, 0600);
        }
        QCOMPARE(OpenFilesIn(m_folder.path()).size(), 0);
        QCOMPARE(TRowBudget::InMemory(), 0);
    }

    void aNewResultPushesOlderResultsOut() {
        // The budget is shared: a finished result gives way to the one now arriving.
        TRowBudget::SetLimit(64 * MiB);
        TRowStore older(2);
        AppendRows(older, 0, 400000);
        QCOMPARE(older.SpilledBytes(), 0);
        TRowBudget::SetLimit(8 * MiB);
        TRowStore newer(2);
        AppendRows(newer, 0, 300000);
        QVERIFY(older.SpilledBytes() > 0);
        for (qint64 i = 0; i < 400000; i += 997)
            QVERIFY(RowIsIntact(older, i));
        QVERIFY(RowIsIntact(newer, 299999));
    }

    void spilledQueryResultEditsAndCounts() {
        // Through the query: count, values and an edit by key on rows that live in the file.
        TRowBudget::SetLimit(4 * MiB);
        const QString path = m_folder.filePath(QStringLiteral("../rows-%1.sqlite").arg(getpid()));
        QFile::remove(path);
        TConnection c;
        c.Open(QStringLiteral("Provider=SQLite;Mode=Create;Data Source=") + path);
        c.Execute(QStringLiteral("CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT NOT NULL)"));
        c.Execute(
            QStringLiteral("WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s LIMIT 200000) "
                           "INSERT INTO t SELECT i, printf('%060d', i) FROM s"));
        TQuery q;
        q.SetConnection(&c);
        q.SetLockType(TLockType::Optimistic);
        q.SetSql(QStringLiteral("SELECT id, name FROM t ORDER BY id"));
        q.SetExecuteOptions(TExecuteOption::AsyncFetch);
        QSignalSpy complete(&q, &TQuery::FetchComplete);
        q.Open();
        QVERIFY(complete.wait(60000));
        QCOMPARE(complete.first().first().toString(), QString());
        QCOMPARE(q.RecordCount(), 200000);
        QVERIFY(!OpenFilesIn(m_folder.path()).isEmpty()); // rows live in the file
        QCOMPARE(q.Value(0, 1).toString(), QStringLiteral("%1").arg(1, 60, 10, QLatin1Char('0')));
        QCOMPARE(q.Value(150000, 0).toLongLong(), 150001);
        QVERIFY(q.Supports(TCursorOption::Update));
        q.MoveTo(999);
        q.Edit();
        q.FieldByName(QStringLiteral("name")).SetValue(QStringLiteral("neu"));
        q.Post();
        QCOMPARE(q.Value(999, 1).toString(), QStringLiteral("neu"));
        TQuery check;
        check.SetConnection(&c);
        check.SetSql(QStringLiteral("SELECT name FROM t WHERE id = 1000"));
        check.Open();
        QCOMPARE(check.Fields()[0].AsText(), QStringLiteral("neu"));
        c.Close();
        QFile::remove(path);
    }

    void cacheFolderIsPrivate() {
        const QByteArray before = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_folder.filePath(QStringLiteral("cache"))));
        TRowBudget::SetSpillFolder({});
        const QString folder = TRowBudget::SpillFolder();
        qputenv("XDG_CACHE_HOME", before);
        QCOMPARE(folder, m_folder.filePath(QStringLiteral("cache/Tabulo")));
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(folder).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0700);
    }
    // A folder that cannot take the file is named as what it is, not as a full disk.
    void folderFailuresSayWhatTheyAre_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << "missing" << "Der Ordner für Zwischendaten %1 fehlt";
        QTest::newRow("read-only") << "read-only" << "Keine Berechtigung, Zwischendaten in %1 abzulegen";
    }
    void folderFailuresSayWhatTheyAre() {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        const QString folder = m_folder.filePath(QStringLiteral("spill"));
        if (kind == QLatin1String("read-only")) {
            QVERIFY(QDir().mkpath(folder));
            if (!TestSupport::SetUnwritable(folder, true))
                QSKIP("this system lets the test write an unwritable folder");
        }
        TRowBudget::SetSpillFolder(folder);
        QString error;
        try {
            TSpillFile file;
        } catch (const TResourceError& e) {
            error = e.Message();
        }
        TestSupport::SetUnwritable(folder, false);
        QCOMPARE(error, message.arg(folder));
    }
    void fetchEndsCleanlyWhenResourcesRunOut_data() {
        QTest::addColumn<QByteArray>("kind");
        QTest::newRow("memory") << QByteArray("memory");
        QTest::newRow("disk") << QByteArray("disk");
    }
    void fetchEndsCleanlyWhenResourcesRunOut() {
        QFETCH(QByteArray, kind);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        if (kind == "memory")
            QSKIP("the sanitizer's shadow memory does not fit under an address-space limit");
#endif
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TABULO_LIMITED_FETCH"), QString::fromLatin1(kind));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_folder.path());
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(180000));
        const QByteArray output = child.readAll();
        QVERIFY2(child.exitStatus() == QProcess::NormalExit, output.constData());
        QVERIFY2(child.exitCode() == 0, output.constData());
    }

private:
    QTemporaryDir m_folder;
};

int main(int argc, char** argv) {
    const QByteArray limited = qgetenv("TABULO_LIMITED_FETCH");
    if (!limited.isEmpty())
        return RunLimitedFetch(argc, argv, limited);
    QCoreApplication app(argc, argv);
    TestRowSpill test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_rowspill.moc"
