#include "app/Main.h"
#include "data/Connection.h"
#include "editor/CompletionList.h"
#include "editor/SqlEdit.h"
#include "tests/support/TestSupport.h"
#include "tests/workspace/WorkTestBase.h"
#include "ui/MsgBox.h"
#include "workspace/Work.h"

#include <QAction>
#include <QListWidget>
#include <QTest>

// The workspace and its editor together: the place of a failed statement pointed at, and the
// names list fed from the open database, on SQLite and on the test run's PostgreSQL server.
class TstWorkNames : public TWorkTestBase {
    Q_OBJECT

    QString m_sqlite;
    QString m_postgres;

    // Kunden(Id, Name) and Orte(Nr, Ort): in an SQLite file, or in schema h22 of PostgreSQL,
    // there Orte and its columns with mixed-case names that must be quoted.
    QString Database(bool postgres) {
        if (!postgres)
            return m_sqlite;
        return m_postgres;
    }

    static QString Pg() { return TestSupport::PostgresConnectionString(); }

    TFrameWork* OpenDatabase(bool postgres) {
        TFrameWork* work = Open(postgres ? QStringLiteral("PG") : QStringLiteral("Beispiel"), Database(postgres));
        work->MemSql->setFocus();
        return work;
    }

    void typeText(TFrameWork* work, const QString& text) {
        for (QChar c : text)
            QTest::keyClick(work->MemSql, c.toLatin1());
    }

private slots:
    void initTestCase() {
        SetUpApplication();
        m_sqlite = TWorkTestBase::Database(QStringLiteral("names"),
                                           "create table Kunden(Id integer primary key, Name text);"
                                           "create table Orte(Nr integer, Ort text);");
        if (!Pg().isEmpty()) {
            TConnection connection;
            connection.Open(Pg());
            connection.Execute(QStringLiteral("drop schema if exists h22 cascade; create schema h22;"
                                              "create table h22.kunden(id int primary key, name text);"
                                              "create table h22.\"Orte\"(\"Nr\" int, \"Ort\" text);"));
            connection.Close();
            m_postgres = Pg() + QStringLiteral(";options='-c search_path=h22'");
        }
    }

    void cleanupTestCase() {
        if (Pg().isEmpty())
            return;
        TConnection connection;
        connection.Open(Pg());
        connection.Execute(QStringLiteral("drop schema if exists h22 cascade"));
    }

    void init() { StartWindow(); }
    void cleanup() { StopWindow(); }

    // Each way of running from the editor; the caret lands on the misspelt name, which is
    // underlined, and the message box is still shown.
    void errorPlaceInTheEditor_data() {
        QTest::addColumn<bool>("postgres");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("caretLine"); // where the caret stands before the run
        QTest::addColumn<int>("selectFrom"); // with Shift+End from the caret's column; -1: none
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("column");
        QStringList fortyDown(40);
        fortyDown << "select Name" << "from Kunden where Nmae = 1";
        const QStringList batch{"insert into Kunden values (7, 'x');", "", "update Kunden",
                                "   set Name = Nmae;", "delete from Kunden where Id = 9;"};
        const QStringList line{"select 1", "", "select * from Kunden", "select Nmae from Kunden"};
        const QStringList group{"select 1", "", "select Name", "from Kunden where Nmae = 1", "", "select 2"};
        const QStringList selected{"select 1;", "-- x; select Nmae from Kunden"};
        const QStringList syntax{"select Name", "frm Kunden"};
        for (const bool postgres : {false, true}) {
            const char* p = postgres ? "PostgreSQL: " : "SQLite: ";
            const auto row = [p](const char* name) -> QTestData& { return QTest::newRow(qPrintable(QString(p) + name)); };
            row("whole text from line 41") << postgres << "ActSqlExec" << fortyDown << 0 << -1 << 41 << 18;
            row("second statement of a batch") << postgres << "ActSqlExec" << batch << 0 << -1 << 3 << 14;
            row("caret line") << postgres << "ActSqlExecLine" << line << 3 << -1 << 3 << 7;
            row("line group") << postgres << "ActSqlExecLines" << group << 2 << -1 << 3 << 18;
            row("selection from the middle of a line")
                << postgres << "ActSqlExecSelected" << selected << 1 << 6 << 1 << 13;
            row("syntax error") << postgres << "ActSqlExec" << syntax << 0 << -1 << 1 << 4;
            // The server counts characters, SQLite bytes; the editor counts UTF-16 units.
            row("wide characters before the fault")
                << postgres << "ActSqlExecLine" << QStringList{QString::fromUtf8("select '\xF0\x9F\x98\x80ä', Nmae from Kunden")}
                << 0 << -1 << 0 << 14;
        }
    }

    void errorPlaceInTheEditor() {
        QFETCH(bool, postgres);
        QFETCH(QString, action);
        QFETCH(QStringList, lines);
        QFETCH(int, caretLine);
        QFETCH(int, selectFrom);
        QFETCH(int, line);
        QFETCH(int, column);
        if (postgres) {
            REQUIRE_POSTGRES(pg);
            Q_UNUSED(pg);
        }
        TFrameWork* work = OpenDatabase(postgres);
        TSqlEdit* edit = work->MemSql;
        edit->SetLines(lines);
        edit->SetCaret(caretLine, qMax(0, selectFrom));
        if (selectFrom >= 0)
            QTest::keyClick(edit, Qt::Key_End, Qt::ShiftModifier);
        m_window->Action(action)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!work->Busy(), 20000);
        QCOMPARE(MsgBox::TakeShownTexts().size(), 1);
        QCOMPARE(edit->CaretLine(), line);
        QCOMPARE(edit->CaretColumn(), column);
        QVERIFY(edit->HasErrorMark());

        // The next run takes the mark away.
        edit->SetLines({QStringLiteral("select 1")});
        edit->SetCaret(0, 3);
        Trigger("ActSqlExec");
        QTRY_VERIFY_WITH_TIMEOUT(!work->Busy(), 20000);
        QCOMPARE(MsgBox::TakeShownTexts(), QStringList());
        QVERIFY(!edit->HasErrorMark());
    }

    // An error without a place leaves the caret where it was: a broken key, or any error
    // through ODBC, whose drivers do not say where.
    void errorWithoutPlaceMovesNothing_data() {
        QTest::addColumn<QString>("connection");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("message"); // a piece of the message shown
        const QStringList duplicate{"insert into Kunden values (1, 'a');", "insert into Kunden values (1, 'b');"};
        QTest::newRow("SQLite, broken key") << m_sqlite << duplicate << "UNIQUE";
        const QString file = m_sqlite.section(QStringLiteral("Data Source="), 1);
        QTest::newRow("ODBC, unknown column")
            << QStringLiteral("Provider=ODBC;Driver=SQLite3;Database=%1").arg(file)
            << QStringList{"select Name", "from Kunden where Nmae = 1"} << "Nmae";
    }

    void errorWithoutPlaceMovesNothing() {
        QFETCH(QString, connection);
        QFETCH(QStringList, lines);
        QFETCH(QString, message);
        TFrameWork* work = Open(QStringLiteral("Ohne"), connection);
        work->MemSql->setFocus();
        work->MemSql->SetLines(lines);
        work->MemSql->SetCaret(0, 4);
        Trigger("ActSqlExec");
        QTRY_VERIFY_WITH_TIMEOUT(!work->Busy(), 20000);
        const QStringList shown = MsgBox::TakeShownTexts();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown.first().contains(message), qPrintable(shown.first()));
        QCOMPARE(work->MemSql->CaretLine(), 0);
        QCOMPARE(work->MemSql->CaretColumn(), 4);
        QVERIFY(!work->MemSql->HasErrorMark());
    }

    // A three-table join written by completion alone.
    void joinWrittenByCompletion_data() {
        QTest::addColumn<bool>("postgres");
        QTest::addColumn<QString>("expected");
        QTest::newRow("SQLite") << false << "select * from Kunden k join Orte o on o.Nr = k.Id";
        QTest::newRow("PostgreSQL") << true << "select * from kunden k join \"Orte\" o on o.\"Nr\" = k.id";
    }

    void joinWrittenByCompletion() {
        QFETCH(bool, postgres);
        QFETCH(QString, expected);
        if (postgres) {
            REQUIRE_POSTGRES(pg);
            Q_UNUSED(pg);
        }
        TFrameWork* work = OpenDatabase(postgres);
        TSqlEdit* edit = work->MemSql;
        TCompletionList* list = edit->NameList();
        const auto names = [&](const QString& typed) {
            typeText(work, typed);
            QTest::keyClick(edit, Qt::Key_Space, Qt::ControlModifier | Qt::ShiftModifier);
            QTRY_VERIFY_WITH_TIMEOUT(list->isVisible(), 10000);
            QTest::keyClick(edit, Qt::Key_Return);
        };
        names("select * from ku");
        names(" k join or");
        typeText(work, " o on o.");
        // The columns of the alias come by themselves after the pause.
        QTRY_VERIFY_WITH_TIMEOUT(list->isVisible(), 10000);
        QTest::keyClick(edit, Qt::Key_Return);
        // The first table's alias as well.
        typeText(work, " = k.");
        QTRY_VERIFY_WITH_TIMEOUT(list->isVisible(), 10000);
        typeText(work, "i");
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(edit->LineText(0), expected);
        QVERIFY(!list->isVisible());
        Trigger("ActSqlExec");
        QTRY_VERIFY_WITH_TIMEOUT(!work->Busy(), 20000);
        QCOMPARE(MsgBox::TakeShownTexts(), QStringList());
    }

    // After DDL the list knows the new table; a database whose tables cannot be listed
    // completes nothing.
    void namesFollowTheTablesList() {
        TFrameWork* work = OpenDatabase(false);
        Run(work, QStringLiteral("create table Zahlungen(Betrag real)"));
        TSqlEdit* edit = work->MemSql;
        edit->SetLines({QStringLiteral("select * from Zah")});
        edit->SetCaret(0, 17);
        QTest::keyClick(edit, Qt::Key_Space, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(edit->NameList()->isVisible());
        QCOMPARE(edit->NameList()->Selected(), QStringLiteral("Zahlungen"));
        QTest::keyClick(edit, Qt::Key_Escape);
        Run(work, QStringLiteral("drop table Zahlungen"));
        edit->SetLines({QStringLiteral("select * from Zah")});
        edit->SetCaret(0, 17);
        QTest::keyClick(edit, Qt::Key_Space, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(!edit->NameList()->isVisible());
    }
};

QTEST_MAIN(TstWorkNames)
#include "tst_worknames.moc"
