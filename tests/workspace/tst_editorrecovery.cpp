#include "editor/SqlEdit.h"
#include "workspace/EditorRecovery.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <sys/stat.h>

namespace {

void Type(TSqlEdit& edit, const QString& text) {
    QTest::keyClicks(&edit, text);
}

QStringList LinesOf(const std::optional<TEditorRecovery::TCopy>& copy) {
    return copy ? copy->Lines : QStringList{QStringLiteral("<keine Kopie>")};
}

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

QTEST_MAIN(TstEditorRecovery)
#include "tst_editorrecovery.moc"
