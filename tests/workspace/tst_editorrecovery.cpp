#include "editor/SqlEdit.h"
#include "tests/support/TestSupport.h"
#include "workspace/EditorRecovery.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <QSignalSpy>

#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void Type(TSqlEdit& edit, const QString& text) {
    QTest::keyClicks(&edit, text);
}

QStringList LinesOf(const std::optional<TEditorRecovery::TCopy>& copy) {
    return copy ? copy->Lines : QStringList{QStringLiteral("<keine Kopie>")};
}

void WriteFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<fehlt>");
}

// Sets a file's time of last change to `seconds` from now.
void SetAge(const QString& path, qint64 seconds) {
    const timespec times[2] = {{time(nullptr) + seconds, 0}, {time(nullptr) + seconds, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW);
}

// The user id of nobody: files "another user" planted (only root can give them away).
constexpr uid_t Nobody = 65534;

} // namespace

// The recovery copies of the editor text on real files, with real editors and, for the crash,
// a real process killed with SIGKILL.
class TstEditorRecovery : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void copyFollowsTypingAndCleanCloseRemovesIt();
    void killedProgramsTextComesBack();
    void workspacesOfOneDatabaseNeverMixTexts();
    void copyOlderThanStoredTextIsDropped();
    void folderOfSomeoneElseIsNotUsed_data();
    void folderOfSomeoneElseIsNotUsed();
    void plantedFilesAreNeitherFollowedNorOffered();
    void leftOversAreRemoved();
    void failedCopyIsRetried();
    void importedNewerTextWins();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString Folder() const { return m_dir->filePath(QStringLiteral("settings-recovery")); }
};

void TstEditorRecovery::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TstEditorRecovery::copyFollowsTypingAndCleanCloseRemovesIt() {
    TSqlEdit edit;
    TEditorRecovery recovery(&edit, Folder(), QStringLiteral("Lager"));
    QCOMPARE(LinesOf(recovery.Recovered({})), QStringList{QStringLiteral("<keine Kopie>")});
    recovery.Start();
    QVERIFY(!QFileInfo::exists(recovery.CopyFile())); // nothing typed, nothing to keep

    Type(edit, QStringLiteral("select 1"));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(recovery.CopyFile()), 5000);
    QFile copy(recovery.CopyFile());
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QVERIFY(copy.readAll().endsWith("\nselect 1"));
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(Folder()).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 0777), 0700);
    QCOMPARE(::stat(QFile::encodeName(recovery.CopyFile()).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 0777), 0600);

    recovery.Discard();
    QVERIFY(!QFileInfo::exists(recovery.CopyFile()));
    QVERIFY(QFileInfo::exists(recovery.StoredMarker()));
    // The workspace may stay open after all: the next change is kept again.
    Type(edit, QStringLiteral("0"));
    recovery.Flush();
    QVERIFY(QFileInfo::exists(recovery.CopyFile()));
}

// A program killed while the user types: everything typed more than the copy delay before the
// kill comes back the next time the database is opened.
void TstEditorRecovery::killedProgramsTextComesBack() {
    const QString childFolder = qEnvironmentVariable("TABULO_RECOVERY_CHILD");
    if (!childFolder.isEmpty()) {
        TSqlEdit edit;
        edit.show();
        TEditorRecovery recovery(&edit, childFolder, QStringLiteral("Lager"));
        recovery.Start();
        Type(edit, QStringLiteral("select *"));
        QTest::keyClick(&edit, Qt::Key_Return);
        Type(edit, QStringLiteral("  from Kunden"));
        QTest::qWait(TEditorRecovery::DelayMs + 500);
        Type(edit, QStringLiteral(" where")); // within the delay: may be lost
        fputs("bereit\n", stdout);
        fflush(stdout);
        for (;;)
            QTest::qWait(1000);
    }
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TABULO_RECOVERY_CHILD"), Folder());
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("killedProgramsTextComesBack")});
    QVERIFY(child.waitForStarted());
    QByteArray output;
    for (int i = 0; i < 300 && !output.contains("bereit\n"); ++i)
        if (child.waitForReadyRead(100))
            output += child.readAllStandardOutput();
    QVERIFY2(output.contains("bereit\n"), output.constData());
    child.kill(); // SIGKILL: no destructor, no flush
    QVERIFY(child.waitForFinished());

    TSqlEdit edit;
    TEditorRecovery recovery(&edit, Folder(), QStringLiteral("lager")); // names ignore case
    const std::optional<TEditorRecovery::TCopy> copy = recovery.Recovered({QStringLiteral("alt")});
    QVERIFY(copy);
    // The words typed within the delay before the kill may or may not have made it.
    QVERIFY2(copy->Lines == (QStringList{QStringLiteral("select *"), QStringLiteral("  from Kunden")}) ||
                 copy->Lines ==
                     (QStringList{QStringLiteral("select *"), QStringLiteral("  from Kunden where")}),
             qPrintable(copy->Lines.join(u'|')));
    QVERIFY(copy->Written.secsTo(QDateTime::currentDateTime()) < 60);
    // The same text as stored is nothing to recover.
    QVERIFY(!recovery.Recovered(copy->Lines));
}

void TstEditorRecovery::workspacesOfOneDatabaseNeverMixTexts() {
    {
        TSqlEdit first, second;
        TEditorRecovery one(&first, Folder(), QStringLiteral("Lager"));
        TEditorRecovery two(&second, Folder(), QStringLiteral("Lager"));
        QVERIFY(one.CopyFile() != two.CopyFile());
        one.Start();
        two.Start();
        Type(first, QStringLiteral("erster"));
        Type(second, QStringLiteral("zweiter"));
        one.Flush();
        two.Flush();
    } // ended without a clean close: both copies stay

    TSqlEdit a, b, c;
    TEditorRecovery first(&a, Folder(), QStringLiteral("Lager"));
    TEditorRecovery second(&b, Folder(), QStringLiteral("Lager"));
    TEditorRecovery third(&c, Folder(), QStringLiteral("Lager"));
    QStringList texts{LinesOf(first.Recovered({})).join(u'|'), LinesOf(second.Recovered({})).join(u'|')};
    texts.sort();
    QCOMPARE(texts, (QStringList{QStringLiteral("erster"), QStringLiteral("zweiter")}));
    QVERIFY(!third.Recovered({}));
    QCOMPARE(QSet<QString>({first.CopyFile(), second.CopyFile(), third.CopyFile()}).size(), 3);
}

void TstEditorRecovery::copyOlderThanStoredTextIsDropped() {
    QString left;
    {
        TSqlEdit edit;
        TEditorRecovery crashed(&edit, Folder(), QStringLiteral("Lager"));
        crashed.Start();
        Type(edit, QStringLiteral("alt"));
        crashed.Flush();
        left = crashed.CopyFile();
        // Meanwhile another workspace of the database stores its text and closes.
        TSqlEdit other;
        TEditorRecovery closed(&other, Folder(), QStringLiteral("Lager"));
        QTest::qWait(20);
        closed.Discard();
    }
    QVERIFY(QFileInfo::exists(left));
    TSqlEdit edit;
    TEditorRecovery recovery(&edit, Folder(), QStringLiteral("Lager"));
    QVERIFY(!recovery.Recovered({QStringLiteral("neu")}));
    QVERIFY(!QFileInfo::exists(left));
}

void TstEditorRecovery::folderOfSomeoneElseIsNotUsed_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("open to others") << "open";
    QTest::newRow("owned by another user") << "foreign";
    QTest::newRow("a link to another folder") << "link";
}

void TstEditorRecovery::folderOfSomeoneElseIsNotUsed() {
    QFETCH(QString, kind);
    const QString elsewhere = m_dir->filePath(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkpath(elsewhere));
    if (kind == QLatin1String("link")) {
        QVERIFY(QFile::link(elsewhere, Folder()));
    } else {
        QVERIFY(QDir().mkpath(Folder()));
        ::chmod(QFile::encodeName(Folder()).constData(), 0777);
        if (kind == QLatin1String("foreign") &&
            ::chown(QFile::encodeName(Folder()).constData(), Nobody, Nobody) != 0)
            QSKIP("giving a folder to another user needs root");
    }
    TSqlEdit edit;
    TEditorRecovery recovery(&edit, Folder(), QStringLiteral("Lager"));
    QVERIFY2(recovery.Failure().startsWith(QStringLiteral("Keine Wiederherstellungskopie möglich")),
             qPrintable(recovery.Failure()));
    recovery.Start();
    Type(edit, QStringLiteral("select 1"));
    recovery.Flush();
    QCOMPARE(QDir(Folder()).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList());
    QCOMPARE(QDir(elsewhere).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList());
}

void TstEditorRecovery::plantedFilesAreNeitherFollowedNorOffered() {
    const QString target = m_dir->filePath(QStringLiteral("target"));
    WriteFile(target, "unberührt");
    QString planted, linked;
    {
        TSqlEdit edit;
        TEditorRecovery recovery(&edit, Folder(), QStringLiteral("Lager"));
        recovery.Start();
        // A link where the next temporary file goes: written through, it would change the target.
        QVERIFY(QFile::link(target, recovery.CopyFile() + QStringLiteral(".tmp")));
        Type(edit, QStringLiteral("eigener Text"));
        recovery.Flush();
        QVERIFY(ReadFile(recovery.CopyFile()).endsWith("\neigener Text"));
        QCOMPARE(ReadFile(target), QByteArray("unberührt"));
        recovery.Discard();
        // A copy of someone else with a date to come, and a link posing as a copy.
        planted = QString(recovery.CopyFile()).replace(QStringLiteral("-0.sql"), QStringLiteral("-7.sql"));
        linked = QString(recovery.CopyFile()).replace(QStringLiteral("-0.sql"), QStringLiteral("-8.sql"));
    }
    WriteFile(target, "Tabulo-Wiederherstellung 2\nLager\n\nDROP TABLE verlinkt");
    QVERIFY(QFile::link(target, linked));
    WriteFile(planted, "Tabulo-Wiederherstellung 2\nLager\n\nDROP TABLE kunden");
    SetAge(planted, 3600);
    if (::chown(QFile::encodeName(planted).constData(), Nobody, Nobody) != 0)
        ::chmod(QFile::encodeName(planted).constData(), 0666);
    TSqlEdit edit;
    TEditorRecovery recovery(&edit, Folder(), QStringLiteral("Lager"));
    QVERIFY(!recovery.Recovered({QStringLiteral("gespeichert")}));
    QVERIFY2(recovery.Failure().contains(QLatin1String("nicht von Ihnen")), qPrintable(recovery.Failure()));
}

// A kill while a copy is being written leaves its temporary file; entries renamed or removed
// leave copies nobody opens again; slots leave lock files and databases their markers.
void TstEditorRecovery::leftOversAreRemoved() {
    QString ownTemporary, held, oldCopy, freshCopy, oldLock, heldTemporary;
    TSqlEdit heldEdit;
    auto holder = std::make_unique<TEditorRecovery>(&heldEdit, Folder(), QStringLiteral("Offen"));
    heldTemporary = holder->CopyFile() + QStringLiteral(".tmp");
    WriteFile(heldTemporary, "wird gerade geschrieben");
    {
        TSqlEdit a, b;
        TEditorRecovery gone(&a, Folder(), QStringLiteral("Umbenannt"));
        gone.Start();
        Type(a, QStringLiteral("alt"));
        gone.Flush();
        oldCopy = gone.CopyFile();
        TEditorRecovery kept(&b, Folder(), QStringLiteral("Anderes"));
        kept.Start();
        Type(b, QStringLiteral("neu"));
        kept.Flush();
        freshCopy = kept.CopyFile();
    }
    SetAge(oldCopy, -31 * 24 * 3600);
    ownTemporary = QString(freshCopy).replace(QStringLiteral(".sql"), QStringLiteral(".sql.tmp"));
    WriteFile(ownTemporary, "select geheim");
    oldLock = Folder() + QStringLiteral("/0123456789abcdef-3.lock");
    WriteFile(oldLock, "");
    const QString oldMarker = Folder() + QStringLiteral("/0123456789abcdef.stored");
    WriteFile(oldMarker, "");

    TSqlEdit edit;
    TEditorRecovery recovery(&edit, Folder(), QStringLiteral("Lager"));
    QVERIFY(!QFileInfo::exists(oldCopy));
    QVERIFY(!QFileInfo::exists(ownTemporary));
    QVERIFY(!QFileInfo::exists(oldLock));
    QVERIFY(!QFileInfo::exists(oldMarker));
    QVERIFY(QFileInfo::exists(freshCopy));    // a crash's copy waits for its database
    QVERIFY(QFileInfo::exists(heldTemporary)); // an open workspace's files are its own
}

void TstEditorRecovery::failedCopyIsRetried() {
    TSqlEdit edit;
    TEditorRecovery recovery(&edit, Folder(), QStringLiteral("Lager"));
    recovery.SetDelay(20);
    recovery.Start();
    QSignalSpy failed(&recovery, &TEditorRecovery::WriteFailed);
    if (!TestSupport::SetUnwritable(Folder(), true))
        QSKIP("this system lets the test write an unwritable folder");
    Type(edit, QStringLiteral("select 1"));
    QVERIFY(failed.wait(5000));
    TestSupport::SetUnwritable(Folder(), false);
    // Nothing typed since: the copy comes all the same, once there is room again.
    QTRY_VERIFY_WITH_TIMEOUT(ReadFile(recovery.CopyFile()).endsWith("\nselect 1"), 10000);
}

void TstEditorRecovery::importedNewerTextWins() {
    const QString store = m_dir->filePath(QStringLiteral("settings.sqlite"));
    WriteFile(store, "");
    SetAge(store, -60);
    {
        TSqlEdit edit;
        TEditorRecovery crashed(&edit, Folder(), QStringLiteral("Lager"), store);
        QVERIFY(!crashed.Recovered({QStringLiteral("alt")}));
        crashed.Start();
        Type(edit, QStringLiteral("getippt"));
        crashed.Flush();
    }
    {
        // The stored text as the crashed workspace found it: the copy is the newer text.
        TSqlEdit edit;
        TEditorRecovery recovery(&edit, Folder(), QStringLiteral("Lager"), store);
        QCOMPARE(LinesOf(recovery.Recovered({QStringLiteral("alt")})), QStringList{QStringLiteral("getippt")});
    }
    // Then a text is imported into the store.
    SetAge(store, 60);
    TSqlEdit edit;
    TEditorRecovery recovery(&edit, Folder(), QStringLiteral("Lager"), store);
    QVERIFY(!recovery.Recovered({QStringLiteral("importiert")}));
    TSqlEdit next;
    TEditorRecovery later(&next, Folder(), QStringLiteral("Lager"), store);
    QVERIFY(!later.Recovered({QStringLiteral("importiert")}));
}

QTEST_MAIN(TstEditorRecovery)
#include "tst_editorrecovery.moc"
