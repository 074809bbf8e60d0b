// The tables and fields lists, their menu and keys, the object information and the
// connection report, inside the real main window against real SQLite files and the test
// run's PostgreSQL server.

#include "app/Main.h"
#include "data/Connection.h"
#include "data/ConnectionString.h"
#include "data/Provider.h"
#include "data/Recordset.h"
#include "editor/SqlEdit.h"
#include "settings/IniFileEx.h"
#include "tests/support/TestSupport.h"
#include "tests/workspace/WorkTestBase.h"
#include "ui/KeyNames.h"
#include "ui/MsgBox.h"
#include "workspace/EditorRecovery.h"
#include "workspace/HeaderBar.h"
#include "workspace/ResultModel.h"
#include "workspace/Work.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUuid>

#include <functional>
#include <memory>

class TstWorkSchema : public TWorkTestBase {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void menuEntriesFollowTheList();
    void listKeysComeBeforeTheWindows();
    void namesGoIntoTheEditor();
    void sortButtonReloadsInRowsetOrder();
    void failuresBecomeListEntries();
    void objectInformationOnSqlite();
    void postgresNamesAreData();
    void postgresObjectInformation();
    void postgresReportAndOdbcTypeTexts();
    void schemaRowText();
    void indexLines_data();
    void indexLines();
    void connectionReport();
    void connectionReportOfALostConnection();
    void connectionReportProgressIsReadable();
    void connectionReportKeepsRowsBeforeAnError_data();
    void connectionReportKeepsRowsBeforeAnError();

    void ctrlClickOnTheLastTableEmptiesTheFields();
    void sqliteNamesAStructuredTableWhereABareNameFindsAnother();
    void postgresTablesOfSeveralSchemas();
    void sqliteIndexColumnsAsWritten_data();
    void sqliteIndexColumnsAsWritten();
    void listsFollowStatementsThatChangeTables();
    void statementsThatChangeTables_data();
    void statementsThatChangeTables();

private:
    // A click on an entry as the user makes it, with the given keys held.
    static void Click(QListWidget* list, QListWidgetItem* item, Qt::KeyboardModifiers keys = {});
    // A right click on an entry, then a click on the menu's entry.
    void Choose(TFrameWork* work, QListWidget* list, QListWidgetItem* item, QAction* action);
    static QListWidgetItem* Item(const QListWidget* list, const QString& name, int occurrence = 0);
    // Opens the list's menu, runs `inside` while it shows, then closes it.
    void WithMenu(TFrameWork* work, QListWidget* list, const std::function<void()>& inside);
    static QStringList Entries(const QListWidget* list);
    static QString Caption(const THeaderBar* bar);
    static QString HistoryTop(const TFrameWork* work);
    void Select(QListWidget* list, const QStringList& names, const QString& current);
    QString PgSchema(const QString& script);
    static QString PgOdbc(const QString& pg, const QString& schema);

    QString m_sample;
    QStringList m_pgSchemas;
};

void TstWorkSchema::initTestCase() {
    SetUpApplication();
}

void TstWorkSchema::init() {
    StartWindow();
    m_sample = Database(QStringLiteral("sample"),
                        "create table Kunden(Id integer primary key, Name varchar (40) not null, Ort text, "
                        "Plz char(5), Bild blob);"
                        "create unique index ux_kunden on Kunden(Name, Ort);"
                        "create table Orte(Plz char(5), Ort text, z int, a int, m int);"
                        "create view v as select Name from Kunden;");
}

void TstWorkSchema::cleanup() {
    StopWindow();
    if (!m_pgSchemas.isEmpty()) {
        TConnection admin;
        admin.Open(TestSupport::PostgresConnectionString());
        for (const QString& schema : std::as_const(m_pgSchemas))
            admin.Execute(QStringLiteral("DROP SCHEMA %1 CASCADE").arg(schema));
        m_pgSchemas.clear();
    }
}

// A schema of its own on the test server, dropped at cleanup; its name.
QString TstWorkSchema::PgSchema(const QString& script) {
    const QString schema = QStringLiteral("ws_%1").arg(QUuid::createUuid().toString(QUuid::Id128).left(12));
    TConnection admin;
    admin.Open(TestSupport::PostgresConnectionString());
    admin.Execute(QStringLiteral("CREATE SCHEMA %1").arg(schema));
    m_pgSchemas << schema;
    admin.Execute(QStringLiteral("SET search_path TO %1; ").arg(schema) + script);
    return schema;
}

// The test server through psqlODBC, with the search path set to one schema.
QString TstWorkSchema::PgOdbc(const QString& pg, const QString& schema) {
    const TConnectionString parsed(pg);
    const QString source = parsed.Value(QStringLiteral("Data Source"));
    return QStringLiteral("Provider=ODBC;Driver={PostgreSQL Unicode};Server=%1;Port=%2;Database=%3;"
                          "User ID=%4;Password=%5;ConnSettings='SET search_path TO %6'")
        .arg(source.section(u':', 0, 0), source.section(u':', 1, 1),
             parsed.Value(QStringLiteral("Initial Catalog")), parsed.Value(QStringLiteral("User ID")),
             parsed.Value(QStringLiteral("Password")), schema);
}

void TstWorkSchema::WithMenu(TFrameWork* work, QListWidget* list, const std::function<void()>& inside) {
    bool ran = false;
    QTimer::singleShot(0, this, [&] {
        QTRY_VERIFY(work->PopMnuLbx->isVisible());
        inside();
        ran = true;
        work->PopMnuLbx->close();
    });
    // By the keyboard's menu key, which keeps the selection the test set up on purpose (a
    // right press changes it; Choose drives the menu by a real right click).
    // QTest's key events reach the widget directly, so the context menu event the window
    // system makes of that key is sent as well.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Menu);
    const QPoint at = list->currentItem() ? list->visualItemRect(list->currentItem()).center() : QPoint(4, 4);
    QContextMenuEvent menuEvent(QContextMenuEvent::Keyboard, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &menuEvent);
    QVERIFY(ran);
}

QStringList TstWorkSchema::Entries(const QListWidget* list) {
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << list->item(i)->text();
    return names;
}

QString TstWorkSchema::Caption(const THeaderBar* bar) {
    return bar->findChild<QLabel*>(bar->objectName() + QStringLiteral("Label"))->text();
}

QString TstWorkSchema::HistoryTop(const TFrameWork* work) {
    const QTableWidgetItem* item = work->GrdHistory->item(0, 1);
    return item ? item->text() : QString();
}

void TstWorkSchema::Select(QListWidget* list, const QStringList& names, const QString& current) {
    list->clearSelection();
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text() == current)
            list->setCurrentRow(i, QItemSelectionModel::NoUpdate);
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setSelected(names.contains(list->item(i)->text()));
}

void TstWorkSchema::Click(QListWidget* list, QListWidgetItem* item, Qt::KeyboardModifiers keys) {
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, keys, list->visualItemRect(item).center());
}

void TstWorkSchema::Choose(TFrameWork* work, QListWidget* list, QListWidgetItem* item, QAction* action) {
    bool chosen = false;
    QTimer::singleShot(0, this, [&] {
        QTRY_VERIFY(work->PopMnuLbx->isVisible());
        QTest::mouseClick(work->PopMnuLbx, Qt::LeftButton, {},
                          work->PopMnuLbx->actionGeometry(action).center());
        chosen = true;
    });
    list->scrollToItem(item);
    const QPoint at = list->visualItemRect(item).center();
    // QTest's mouse events reach the widget directly, so the window's context menu event that
    // follows a right press on screen is sent as well.
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, at);
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &menuEvent);
    QVERIFY(chosen);
    // Offscreen the closed menu stays the active window until the main window is activated.
    QTRY_VERIFY(!work->PopMnuLbx->isVisible());
    QApplication::setActiveWindow(m_window.get());
    QTRY_COMPARE(QApplication::activeWindow(), m_window.get());
}

QListWidgetItem* TstWorkSchema::Item(const QListWidget* list, const QString& name, int occurrence) {
    const QList<QListWidgetItem*> found = list->findItems(name, Qt::MatchExactly);
    // findItems keeps the list's order.
    return occurrence < found.size() ? found.at(occurrence) : nullptr;
}

void TstWorkSchema::menuEntriesFollowTheList() {
    TFrameWork* work = Open(QStringLiteral("Beispiel"), m_sample);
    const auto visibleEntries = [work] {
        QStringList entries;
        for (QAction* action : work->PopMnuLbx->actions())
            if (action->isVisible())
                entries << (action->isSeparator()
                                ? QStringLiteral("-")
                                : action->text().remove(u'&') + QLatin1Char('|') +
                                      action->shortcut().toString(QKeySequence::NativeText));
        return entries;
    };
    QStringList onTables;
    WithMenu(work, work->LbxTables, [&] { onTables = visibleEntries(); });
    QCOMPARE(onTables, (QStringList{"In SQL einfügen|", "In SQL als SELECT einfügen|", "Tabelle anzeigen|F8",
                                    "-", "Alle selektieren|", "Keine selektieren|", "-", "Aktualisieren|F5",
                                    "Info|Alt+Eingabe"}));
    QStringList onFields;
    WithMenu(work, work->LbxFields, [&] { onFields = visibleEntries(); });
    QCOMPARE(onFields, (QStringList{"In SQL einfügen|", "In SQL als SELECT einfügen|", "-",
                                    "Alle selektieren|", "Keine selektieren|", "-", "Info|Alt+Eingabe"}));

    // Selecting all tables does not reload the fields; "Keine selektieren" keeps the current entry.
    Select(work->LbxTables, {"Kunden"}, QStringLiteral("Kunden"));
    work->RefreshFields();
    WithMenu(work, work->LbxTables, [&] { work->PopMnuLbxSelectAll->trigger(); });
    QCOMPARE(work->LbxTables->selectedItems().size(), 3);
    QCOMPARE(Caption(work->PnlFields), QStringLiteral("Felder (5)"));
    WithMenu(work, work->LbxTables, [&] { work->PopMnuLbxSelectNone->trigger(); });
    QVERIFY(work->LbxTables->selectedItems().isEmpty());
    QCOMPARE(work->LbxTables->currentItem()->text(), QStringLiteral("Kunden"));

    // "Tabelle anzeigen" shows the current table of the list.
    Select(work->LbxTables, {}, QStringLiteral("Orte"));
    WithMenu(work, work->LbxTables, [&] { work->PopMnuLbxTableSelect->trigger(); });
    QTRY_VERIFY(!work->Busy());
    QCOMPARE(HistoryTop(work), QStringLiteral("SELECT * FROM Orte\r\n"));
}

void TstWorkSchema::listKeysComeBeforeTheWindows() {
    TFrameWork* work = Open(QStringLiteral("Beispiel"), m_sample);
    Select(work->LbxTables, {"Kunden"}, QStringLiteral("Kunden"));
    work->RefreshFields();
    TConnection other;
    other.Open(m_sample);
    other.Execute(QStringLiteral("create table Neu(x int)"));

    // F5 in the fields list reloads the tables and leaves the fields as they were.
    work->LbxFields->setFocus();
    QTest::keyClick(work->LbxFields, Qt::Key_F5);
    QCOMPARE(Entries(work->LbxTables), (QStringList{"Kunden", "Neu", "Orte", "v"}));
    QCOMPARE(Caption(work->PnlTables), QStringLiteral("Tabellen (4)"));
    QCOMPARE(work->LbxFields->count(), 5);
    QCOMPARE(HistoryTop(work), QString());

    // Elsewhere F5 stays the window's "Selektierte ausführen".
    work->MemSql->SetLines({"select 7 as sieben"});
    work->MemSql->SelectTextRange(0, 18);
    work->MemSql->setFocus();
    QTest::keyClick(work->MemSql, Qt::Key_F5);
    QTRY_VERIFY(!work->Busy());
    QCOMPARE(HistoryTop(work), QStringLiteral("select 7 as sieben\r\n"));

    // Alt+Enter in the tables list shows the indexes; after the menu was opened on the fields
    // list it shows the current field instead.
    work->LbxTables->setFocus();
    MsgBox::TakeShownTexts();
    QTest::keyClick(work->LbxTables, Qt::Key_Return, Qt::AltModifier);
    QCOMPARE(MsgBox::TakeShownTexts(),
             QStringList{"Index pk_Kunden (PUC) Fields: Id\r\nIndex ux_kunden (U) Fields: Name;Ort"});
    work->LbxFields->setCurrentRow(
        work->LbxFields->row(work->LbxFields->findItems("Name", Qt::MatchExactly).first()));
    WithMenu(work, work->LbxFields, [] {});
    work->LbxTables->setFocus();
    QTest::keyClick(work->LbxTables, Qt::Key_Return, Qt::AltModifier);
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList{"main.Kunden Name varchar (40) not null"});
}

void TstWorkSchema::namesGoIntoTheEditor() {
    TFrameWork* work = Open(QStringLiteral("Beispiel"), m_sample);
    Click(work->LbxTables, Item(work->LbxTables, "Kunden"));
    // Shift held through the double click keeps both tables selected, Orte current.
    const QPoint orte = work->LbxTables->visualItemRect(Item(work->LbxTables, "Orte")).center();
    QTest::mouseDClick(m_window->windowHandle(), Qt::LeftButton, Qt::ShiftModifier,
                       work->LbxTables->viewport()->mapTo(m_window.get(), orte));
    QCOMPARE(Entries(work->LbxFields), (QStringList{"a", "m", "Ort", "Plz", "z"}));
    QCOMPARE(work->MemSql->Lines(), QStringList{"Kunden, Orte"});
    QCOMPARE(QApplication::focusWidget(), work->MemSql);

    // With a selection in the editor the tables' SELECTs replace it, one after the other.
    work->MemSql->SelectTextRange(0, 6);
    WithMenu(work, work->LbxTables, [&] { work->PopMnuLbxInsertSelect->trigger(); });
    QCOMPARE(work->MemSql->Lines(), QStringList{"SELECT * FROM Kunden SELECT * FROM Orte , Orte"});

    // The fields' SELECT names the current table, not the last selected one.
    work->MemSql->SetLines({QString()});
    Select(work->LbxFields, {"Ort", "Plz", "z"}, QStringLiteral("z"));
    Select(work->LbxTables, {"Kunden", "Orte"}, QStringLiteral("Kunden"));
    WithMenu(work, work->LbxFields, [&] { work->PopMnuLbxInsertSelect->trigger(); });
    QCOMPARE(work->MemSql->Lines(), QStringList{"SELECT Ort, Plz, z FROM Kunden"});
    work->MemSql->SetLines({QString()});
    work->LbxFields->clearSelection();
    WithMenu(work, work->LbxFields, [&] { work->PopMnuLbxInsertSelect->trigger(); });
    QCOMPARE(work->MemSql->Lines(), QStringList{"SELECT  FROM Kunden"});
    // A double click below the last entry selects nothing and inserts nothing.
    DoubleClick(work->LbxFields->viewport(), QPoint(4, work->LbxFields->viewport()->height() - 4));
    QCOMPARE(work->MemSql->Lines(), QStringList{"SELECT  FROM Kunden"});
    DoubleClick(work->LbxFields->viewport(), work->LbxFields->visualItemRect(Item(work->LbxFields, "Ort")).center());
    QCOMPARE(work->MemSql->Lines(), QStringList{"SELECT  FROM KundenOrt"});
    work->MemSql->SetLines({QStringLiteral("SELECT  FROM Kunden")});

    // A text of two lines goes in as a column block, the short line padded; one undo step.
    work->MemSql->SetLines({"12345678", "ab"});
    work->MemSql->SetCaret(0, 4);
    work->InsertIntoSql(QStringLiteral("XY\r\nZ"));
    QCOMPARE(work->MemSql->Lines(), (QStringList{"1234XY5678", "ab  Z"}));
    QCOMPARE(work->MemSql->CaretLine(), 0);
    QCOMPARE(work->MemSql->CaretColumn(), 9);
    work->MemSql->undo();
    QCOMPARE(work->MemSql->Lines(), (QStringList{"12345678", "ab"}));
}

void TstWorkSchema::sortButtonReloadsInRowsetOrder() {
    TFrameWork* work = Open(QStringLiteral("Beispiel"), m_sample);
    QVERIFY(work->BtnFieldsSort->isChecked());
    Select(work->LbxTables, {"Orte"}, QStringLiteral("Orte"));
    work->RefreshFields();
    QCOMPARE(Entries(work->LbxFields), (QStringList{"a", "m", "Ort", "Plz", "z"}));
    work->BtnFieldsSort->click();
    QCOMPARE(Entries(work->LbxFields), (QStringList{"Plz", "Ort", "z", "a", "m"}));
    work->BtnFieldsSort->click();
    QCOMPARE(Entries(work->LbxFields), (QStringList{"a", "m", "Ort", "Plz", "z"}));
    QCOMPARE(Caption(work->PnlFields), QStringLiteral("Felder (5)"));
}

void TstWorkSchema::failuresBecomeListEntries() {
    TFrameWork* work = Open(QStringLiteral("Beispiel"), m_sample);
    Select(work->LbxTables, {"Kunden"}, QStringLiteral("Kunden"));
    work->ConnWork->Close();
    work->RefreshFields();
    QCOMPARE(Entries(work->LbxFields),
             (QStringList{"<Die Verbindung ist nicht geöffnet>", "<Feldliste kann nicht gelesen werden>"}));
    QCOMPARE(Caption(work->PnlFields), QStringLiteral("Felder"));
    work->RefreshTables();
    QCOMPARE(Entries(work->LbxTables), (QStringList{"<Die Verbindung ist nicht geöffnet>",
                                                    "<Tabellenliste kann nicht gelesen werden>"}));
    QCOMPARE(Caption(work->PnlTables), QStringLiteral("Tabellen"));
}

void TstWorkSchema::objectInformationOnSqlite() {
    TFrameWork* work = Open(QStringLiteral("Beispiel"), m_sample);
    QCOMPARE(work->ColumnInfo(QStringLiteral("Kunden"), QStringLiteral("Name")),
             QStringLiteral("main.Kunden Name varchar (40) not null"));
    QCOMPARE(work->ColumnInfo(QStringLiteral("Kunden"), QStringLiteral("Plz")),
             QStringLiteral("main.Kunden Plz char (5) null"));
    // The rowid's own column never holds null.
    QCOMPARE(work->ColumnInfo(QStringLiteral("Kunden"), QStringLiteral("Id")),
             QStringLiteral("main.Kunden Id integer not null"));
    QCOMPARE(work->ColumnInfo(QStringLiteral("Kunden"), QStringLiteral("Gibt es nicht")), QString());
    QCOMPARE(work->IndexInfo(QStringLiteral("Orte")), QString());

    // A click on a field puts its information into the last status panel.
    Select(work->LbxTables, {"Kunden"}, QStringLiteral("Kunden"));
    work->RefreshFields();
    Click(work->LbxFields, Item(work->LbxFields, "Name"));
    QCOMPARE(work->StatusText(5), QStringLiteral("main.Kunden Name varchar (40) not null"));

    // "Info" on a table without indexes shows nothing; a failing lookup ends in its error line.
    Select(work->LbxTables, {"Orte"}, QStringLiteral("Orte"));
    work->LbxTables->setFocus();
    WithMenu(work, work->LbxTables, [&] { work->PopMnuLbxInfo->trigger(); });
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList());
    work->ConnWork->Close();
    QCOMPARE(
        work->IndexInfo(QStringLiteral("Orte")),
        QStringLiteral("\r\nSchemaInfo=siIndexes Exception: TDataError Die Verbindung ist nicht geöffnet"));
    QCOMPARE(
        work->ColumnInfo(QStringLiteral("Orte"), QStringLiteral("z")),
        QStringLiteral("\r\nSchemaInfo=siColumns Exception: TDataError Die Verbindung ist nicht geöffnet"));
}

void TstWorkSchema::postgresNamesAreData() {
    REQUIRE_POSTGRES(pg);
    const QString schema = PgSchema(QStringLiteral(
        "CREATE TABLE victim (id int); CREATE TABLE \"x; drop table victim; --\" (tag text); "
        "INSERT INTO \"x; drop table victim; --\" VALUES ('hostile'); "
        "CREATE TABLE \"Mixed\" (\"Tag\" text, \"select\" int); INSERT INTO \"Mixed\" VALUES ('upper', 1); "
        "CREATE TABLE mixed (tag text); INSERT INTO mixed VALUES ('lower');"));
    TFrameWork* work =
        Open(QStringLiteral("PG"), pg + QStringLiteral(";options='-c search_path=%1'").arg(schema));
    QVERIFY(work);
    for (const QString& table : {QStringLiteral("x; drop table victim; --"), QStringLiteral("Mixed")}) {
        Select(work->LbxTables, {table}, table);
        work->LbxTables->setFocus();
        m_window->Action(QStringLiteral("ActSqlExecTable"))->trigger();
        QTRY_VERIFY(!work->Busy());
        QCOMPARE(work->Dsr->rowCount(), 1);
        QCOMPARE(work->Dsr->index(0, 0).data().toString(),
                 table == QLatin1String("Mixed") ? QStringLiteral("upper") : QStringLiteral("hostile"));
    }
    QVERIFY(Entries(work->LbxTables).contains(QStringLiteral("victim")));
    TConnection check;
    check.Open(pg);
    check.Execute(QStringLiteral("SELECT count(*) FROM %1.victim").arg(schema));

    // The fallback for the fields and the SELECT put into the editor quote the names.
    Select(work->LbxTables, {"Mixed"}, QStringLiteral("Mixed"));
    work->ReadFieldsByQuery();
    QCOMPARE(Entries(work->LbxFields), (QStringList{"select", "Tag"}));
    Select(work->LbxFields, {"select", "Tag"}, QStringLiteral("Tag"));
    WithMenu(work, work->LbxFields, [&] { work->PopMnuLbxInsertSelect->trigger(); });
    QCOMPARE(work->MemSql->Lines().first(), QStringLiteral("SELECT \"select\", \"Tag\" FROM \"Mixed\""));
    work->MemSql->SetLines({QString()});
    Select(work->LbxTables, {"mixed"}, QStringLiteral("mixed"));
    WithMenu(work, work->LbxTables, [&] { work->PopMnuLbxInsertSelect->trigger(); });
    QCOMPARE(work->MemSql->Lines().first(), QStringLiteral("SELECT * FROM mixed "));
}

void TstWorkSchema::postgresObjectInformation() {
    REQUIRE_POSTGRES(pg);
    const QString table = QStringLiteral("kunden_%1").arg(QUuid::createUuid().toString(QUuid::Id128).left(8));
    const QString ddl =
        QStringLiteral("CREATE TABLE %1 (id int PRIMARY KEY, name varchar(50) NOT NULL, ort text, "
                       "werte integer[], zeit timestamp, betrag numeric(18,2)); "
                       "CREATE UNIQUE INDEX ux_%1 ON %1 (name, ort);")
            .arg(table);
    const QString first = PgSchema(ddl);
    const QString second = PgSchema(QStringLiteral("CREATE TABLE %1 (name text);").arg(table));
    TFrameWork* work =
        Open(QStringLiteral("PG"), pg + QStringLiteral(";options='-c search_path=%1'").arg(first));
    QVERIFY(work);

    const QStringList both{first + u'.' + table + QStringLiteral(" name character varying (50) not null"),
                           second + u'.' + table + QStringLiteral(" name text null")};
    const QString info = work->ColumnInfo(table, QStringLiteral("name"));
    const bool joined = info == both.join(QStringLiteral(" | ")) ||
                        info == QStringList({both[1], both[0]}).join(QStringLiteral(" | "));
    QVERIFY2(joined, qPrintable(info));
    QCOMPARE(work->ColumnInfo(table, QStringLiteral("werte")),
             first + u'.' + table + QStringLiteral(" werte integer[] null"));
    QCOMPARE(work->ColumnInfo(table, QStringLiteral("zeit")),
             first + u'.' + table + QStringLiteral(" zeit timestamp without time zone null"));
    QCOMPARE(work->ColumnInfo(table, QStringLiteral("betrag")),
             first + u'.' + table + QStringLiteral(" betrag numeric (18,2) null"));
    QCOMPARE(work->IndexInfo(table),
             QStringLiteral("Index %1_pkey (PU) Fields: id\r\nIndex ux_%1 (U) Fields: name;ort").arg(table));
}

void TstWorkSchema::postgresReportAndOdbcTypeTexts() {
    REQUIRE_POSTGRES(pg);
    const QString table = QStringLiteral("zeiten_%1").arg(QUuid::createUuid().toString(QUuid::Id128).left(8));
    const QString schema =
        PgSchema(QStringLiteral(
                     "CREATE TABLE %1 (zeit timestamp, zone timestamptz, werte integer[], name varchar(20)); "
                     "CREATE FUNCTION f_%1(n int) RETURNS TABLE (nummer int, wort text) "
                     "LANGUAGE sql AS 'SELECT n, ''x''';"
                     "CREATE FUNCTION v_%1(VARIADIC n int[]) RETURNS SETOF %1 "
                     "LANGUAGE sql AS 'SELECT * FROM %1';")
                     .arg(table));
    TFrameWork* work =
        Open(QStringLiteral("PG"), pg + QStringLiteral(";options='-c search_path=%1'").arg(schema));
    QVERIFY(work);
    const QString report = work->BuildConnectionReport();
    QVERIFY(report.contains(QStringLiteral("  PROCEDURE_NAME=f_%1\r\n  COLUMN_NAME=wort").arg(table)));
    // A function with a VARIADIC parameter returns the columns of its row type.
    QVERIFY(report.contains(QStringLiteral("  PROCEDURE_NAME=v_%1\r\n  COLUMN_NAME=zone").arg(table)));
    QVERIFY(report.contains(QStringLiteral("SchemaInfo=0 Asserts Exception: TDataError ")));
    QVERIFY(report.contains(QStringLiteral("SchemaInfo=38 Members Exception: TDataError ")));

    work = Open(QStringLiteral("ODBC"), PgOdbc(pg, schema));
    QVERIFY(work);
    // Through psqlODBC: the column's own type, not the first one the driver lists for its keys.
    const QString prefix = schema + u'.' + table + u' ';
    QCOMPARE(work->ColumnInfo(table, QStringLiteral("zeit")), prefix + QStringLiteral("zeit timestamp null"));
    QCOMPARE(work->ColumnInfo(table, QStringLiteral("zone")),
             prefix + QStringLiteral("zone timestamptz null"));
    QCOMPARE(work->ColumnInfo(table, QStringLiteral("werte")), prefix + QStringLiteral("werte int4[] null"));
    QCOMPARE(work->ColumnInfo(table, QStringLiteral("name")),
             prefix + QStringLiteral("name varchar (20) null"));
}

void TstWorkSchema::schemaRowText() {
    TColumnInfo text;
    text.Name = QStringLiteral("A");
    TColumnInfo blob;
    blob.Name = QStringLiteral("B");
    blob.Type = TDataType::LongVarBinary;
    TColumnInfo emptyBlob = blob;
    emptyBlob.Name = QStringLiteral("C");
    TColumnInfo last = text;
    last.Name = QStringLiteral("D");
    const std::unique_ptr<TRecordset> rows = TRecordset::CreateStatic({text, blob, emptyBlob, last});
    rows->AppendRow({QVariant(), QByteArray("\x01\x02"), QVariant(), QStringLiteral("x")});
    rows->AppendRow({QStringLiteral("a"), QVariant(), QVariant(), QString()});
    rows->First();
    QCOMPARE(TFrameWork::SchemaRowText(*rows), QStringLiteral("\r\n  B=<BLOB>\r\n  D=x\r\n    LEER: A C "));
    rows->Next();
    QCOMPARE(TFrameWork::SchemaRowText(*rows), QStringLiteral("  A=a\r\n    LEER: B C D "));
}

void TstWorkSchema::indexLines_data() {
    QTest::addColumn<QStringList>("rows"); // index name, flags (P U C), column
    QTest::addColumn<QString>("text");
    QTest::newRow("none") << QStringList() << QString();
    QTest::newRow("key and two-column unique index")
        << QStringList{"PK", "PU", "Id", "UX", "U", "Name", "UX", "U", "Ort"}
        << "Index PK (PU) Fields: Id\r\nIndex UX (U) Fields: Name;Ort";
    QTest::newRow("rows without name join the next index")
        << QStringList{"", "", "A", "", "", "B", "IX", "C", "C"} << "Index IX (C) Fields: A;B;C";
    QTest::newRow("rows without name at the end") << QStringList{"IX", "U", "A", "", "", "B", "", "", "C"}
                                                  << "Index IX (U) Fields: A\r\nIndex  () Fields: B;C";
    QTest::newRow("flags of the last row")
        << QStringList{"IX", "U", "A", "IX", "", "B"} << "Index IX () Fields: A;B";
}

void TstWorkSchema::indexLines() {
    QFETCH(QStringList, rows);
    QFETCH(QString, text);
    std::unique_ptr<TRecordset> indexes = TRecordset::CreateStatic(SchemaColumns(TSchemaKind::Indexes));
    const int name = indexes->FieldByName(QStringLiteral("INDEX_NAME")).Index();
    for (int i = 0; i + 2 < rows.size(); i += 3) {
        QVariantList values(indexes->Fields().Count());
        values[name] = rows[i].isEmpty() ? QVariant() : QVariant(rows[i]);
        values[indexes->FieldByName(QStringLiteral("PRIMARY_KEY")).Index()] = rows[i + 1].contains(u'P');
        values[indexes->FieldByName(QStringLiteral("UNIQUE")).Index()] = rows[i + 1].contains(u'U');
        values[indexes->FieldByName(QStringLiteral("CLUSTERED")).Index()] = rows[i + 1].contains(u'C');
        values[indexes->FieldByName(QStringLiteral("COLUMN_NAME")).Index()] = rows[i + 2];
        indexes->AppendRow(values);
    }
    QString result;
    TFrameWork::AppendIndexLines(*indexes, result);
    QCOMPARE(result, text);
}

void TstWorkSchema::connectionReport() {
    TFrameWork* work = Open(QStringLiteral("Beispiel"), m_sample);
    QApplication::clipboard()->clear();
    m_window->Action(QStringLiteral("ActDBInfo"))->trigger();
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList{"Connection information stored in clipboard"});
    QCOMPARE(work->StatusText(4), QStringLiteral("---"));
    const QString report = QApplication::clipboard()->text();
    const QStringList lines = report.split(QStringLiteral("\r\n"));
    QStringList headers;
    for (const QString& line : lines)
        if (line.startsWith(QLatin1String("SchemaInfo=")))
            headers << line.section(u' ', 0, 1);
    QCOMPARE(headers.size(), 40);
    QCOMPARE(headers.first(), QStringLiteral("SchemaInfo=0 Asserts"));
    QCOMPARE(headers.at(4), QStringLiteral("SchemaInfo=4 Columns"));
    QCOMPARE(headers.last(), QStringLiteral("SchemaInfo=39 ProviderSpecific"));
    QVERIFY(report.contains(QStringLiteral("SchemaInfo=32 Cubes Exception: TDataError ")));
    QVERIFY(report.contains(QStringLiteral("\r\n  TABLE_NAME=Kunden\r\n")));
    QVERIFY(report.endsWith(QStringLiteral("\r\n")));
    QVERIFY(!report.contains(u'\n' + QString(u'\n')));
}

void TstWorkSchema::connectionReportOfALostConnection() {
    TFrameWork* work = Open(QStringLiteral("Beispiel"), m_sample);
    work->ConnWork->Close();
    const QStringList lines = work->BuildConnectionReport().split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 41);
    for (int k = 0; k < 40; ++k)
        QVERIFY2(lines.at(k).startsWith(QStringLiteral("SchemaInfo=%1 ").arg(k)) &&
                     lines.at(k).endsWith(
                         QStringLiteral(" Exception: TDataError Die Verbindung ist nicht geöffnet")),
                 qPrintable(lines.at(k)));
    QCOMPARE(work->StatusText(4), QStringLiteral("---"));
}

void TstWorkSchema::ctrlClickOnTheLastTableEmptiesTheFields() {
    TFrameWork* work = Open(QStringLiteral("Beispiel"), m_sample);
    Click(work->LbxTables, Item(work->LbxTables, "Kunden"));
    QCOMPARE(Entries(work->LbxFields), (QStringList{"Bild", "Id", "Name", "Ort", "Plz"}));
    Click(work->LbxTables, Item(work->LbxTables, "Orte"), Qt::ControlModifier);
    QCOMPARE(Entries(work->LbxFields), (QStringList{"a", "m", "Ort", "Plz", "z"}));
    // Taking the last selected table away shows the one still selected, then none at all.
    Click(work->LbxTables, Item(work->LbxTables, "Orte"), Qt::ControlModifier);
    QCOMPARE(Entries(work->LbxFields), (QStringList{"Bild", "Id", "Name", "Ort", "Plz"}));
    Click(work->LbxTables, Item(work->LbxTables, "Kunden"), Qt::ControlModifier);
    QVERIFY(work->LbxTables->selectedItems().isEmpty());
    QCOMPARE(Entries(work->LbxFields), QStringList());
    QCOMPARE(Caption(work->PnlFields), QStringLiteral("Felder"));
}

void TstWorkSchema::sqliteNamesAStructuredTableWhereABareNameFindsAnother() {
    const QString extra =
        Database(QStringLiteral("extra"), "create table Orte(q int); create table Nur(n int);");
    TFrameWork* work = Open(QStringLiteral("Beispiel"), m_sample);
    Click(work->LbxTables, Item(work->LbxTables, "Kunden"));
    // A bare name finds a temporary table first, then main's, then an attached database's.
    Run(work, QStringLiteral("attach database '%1' as extra;\ncreate temp table Kunden(t int);")
                  .arg(TConnectionString(extra).Value(QStringLiteral("Data Source"))));
    QCOMPARE(Entries(work->LbxTables), (QStringList{"Kunden", "Kunden", "Nur", "Orte", "Orte", "v"}));
    // The chosen table stays chosen, and its fields are its own, not its namesake's too.
    QCOMPARE(Entries(work->LbxFields), (QStringList{"Bild", "Id", "Name", "Ort", "Plz"}));

    work->MemSql->SetLines({QString()});
    Choose(work, work->LbxTables, Item(work->LbxTables, "v"), work->PopMnuLbxSelectAll);
    Choose(work, work->LbxTables, Item(work->LbxTables, "v"), work->PopMnuLbxInsertSelect);
    QCOMPARE(work->MemSql->Lines(),
             QStringList{"SELECT * FROM main.Kunden SELECT * FROM Kunden SELECT * FROM Nur "
                         "SELECT * FROM extra.Orte SELECT * FROM Orte SELECT * FROM v "});

    // "Tabelle anzeigen" reaches the hidden table.
    Click(work->LbxTables, Item(work->LbxTables, "Orte", 0));
    QCOMPARE(Entries(work->LbxFields), QStringList{"q"});
    QTest::keyClick(work->LbxTables, Qt::Key_F8);
    QTRY_VERIFY(!work->Busy());
    QCOMPARE(HistoryTop(work), QStringLiteral("SELECT * FROM extra.Orte\r\n"));
    QCOMPARE(work->Dsr->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("q"));
}

void TstWorkSchema::postgresTablesOfSeveralSchemas() {
    REQUIRE_POSTGRES(pg);
    const QString id = QUuid::createUuid().toString(QUuid::Id128).left(10);
    const QString first = QStringLiteral("ws_%1_a").arg(id), second = QStringLiteral("ws_%1_b").arg(id);
    const QString far = QStringLiteral("\"Fremd_%1\"").arg(id);
    TConnection admin;
    admin.Open(pg);
    m_pgSchemas << first << second << far;
    admin.Execute(
        QStringLiteral("CREATE SCHEMA %1; CREATE SCHEMA %2; CREATE SCHEMA %3; "
                       "CREATE TABLE %1.kunden (id int PRIMARY KEY, name_a text); "
                       "INSERT INTO %1.kunden VALUES (1, 'a'); "
                       "CREATE TABLE %2.kunden (nr int PRIMARY KEY, name_b text); "
                       "INSERT INTO %2.kunden VALUES (2, 'b'); "
                       "CREATE TABLE %3.\"Fern\" (wert text); INSERT INTO %3.\"Fern\" VALUES ('fern');")
            .arg(first, second, far));
    TFrameWork* work =
        Open(QStringLiteral("PG"), pg + QStringLiteral(";options='-c search_path=%1'").arg(first));
    QVERIFY(work);

    // Each entry is its own table: its fields, its rows, its name in SQL.
    QVERIFY(!Item(work->LbxTables, "kunden", 2));
    const struct {
        QListWidgetItem* Entry;
        QStringList Fields;
        QString SqlName;
        QString Value;
    } tables[] = {{Item(work->LbxTables, "kunden", 0), {"id", "name_a"}, "kunden", "a"},
                  {Item(work->LbxTables, "kunden", 1), {"name_b", "nr"}, second + ".kunden", "b"},
                  {Item(work->LbxTables, "Fern"), {"wert"}, far + ".\"Fern\"", "fern"}};
    for (const auto& table : tables) {
        Click(work->LbxTables, table.Entry);
        QCOMPARE(Entries(work->LbxFields), table.Fields);
        QTest::keyClick(work->LbxTables, Qt::Key_F8);
        QTRY_VERIFY(!work->Busy());
        QCOMPARE(HistoryTop(work), QStringLiteral("SELECT * FROM %1\r\n").arg(table.SqlName));
        QCOMPARE(work->Dsr->index(0, 1 % table.Fields.size()).data().toString(), table.Value);
        work->MemSql->SetLines({QString()});
        Choose(work, work->LbxTables, table.Entry, work->PopMnuLbxInsertSelect);
        QCOMPARE(work->MemSql->Lines(), QStringList{QStringLiteral("SELECT * FROM %1 ").arg(table.SqlName)});
    }
    // The fallback for the fields reads the table of the entry.
    work->ReadFieldsByQuery();
    QCOMPARE(Entries(work->LbxFields), QStringList{"wert"});

    // The fields' SELECT names the current table as the tables list does.
    Click(work->LbxTables, tables[1].Entry);
    Click(work->LbxFields, Item(work->LbxFields, "nr"));
    work->MemSql->SetLines({QString()});
    Choose(work, work->LbxFields, Item(work->LbxFields, "nr"), work->PopMnuLbxInsertSelect);
    QCOMPARE(work->MemSql->Lines(), QStringList{"SELECT nr FROM " + second + ".kunden"});

    // Both keys are called kunden_pkey; each keeps its own column.
    QCOMPARE(work->IndexInfo(QStringLiteral("kunden")),
             QStringLiteral("Index kunden_pkey (PU) Fields: id\r\nIndex kunden_pkey (PU) Fields: nr"));

    // Through ODBC, which cannot tell which table a bare name finds, every name is written
    // with its schema: one of two schemas, and one outside the search path.
    work = Open(QStringLiteral("ODBC"), PgOdbc(pg, first));
    QVERIFY(work);
    Click(work->LbxTables, Item(work->LbxTables, "kunden", 0));
    QCOMPARE(Entries(work->LbxFields), (QStringList{"id", "name_a"}));
    QTest::keyClick(work->LbxTables, Qt::Key_F8);
    QTRY_VERIFY(!work->Busy());
    QCOMPARE(HistoryTop(work), QStringLiteral("SELECT * FROM %1.kunden\r\n").arg(first));
    work->MemSql->SetLines({QString()});
    Choose(work, work->LbxTables, Item(work->LbxTables, "kunden", 1), work->PopMnuLbxInsertSelect);
    QCOMPARE(work->MemSql->Lines(), QStringList{QStringLiteral("SELECT * FROM %1.kunden ").arg(second)});
    Click(work->LbxTables, Item(work->LbxTables, "Fern"));
    QTest::keyClick(work->LbxTables, Qt::Key_F8);
    QTRY_VERIFY(!work->Busy());
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList());
    QCOMPARE(HistoryTop(work), QStringLiteral("SELECT * FROM %1.\"Fern\"\r\n").arg(far));
    QCOMPARE(work->Dsr->index(0, 0).data().toString(), QStringLiteral("fern"));
}

void TstWorkSchema::sqliteIndexColumnsAsWritten_data() {
    QTest::addColumn<QString>("index");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("filter");
    QTest::newRow("expression") << "create index i on t(lower(b))"
                                << "Index i () Fields: lower(b)"
                                << "";
    QTest::newRow("order and collation left out")
        << "create index i on t(a, b * 2 DESC, c collate nocase asc)"
        << "Index i () Fields: a;b * 2;c"
        << "";
    QTest::newRow("commas and brackets inside")
        << "create unique index i on t(substr(b, 1, 2), coalesce(c, ',)'))"
        << "Index i (U) Fields: substr(b, 1, 2);coalesce(c, ',)')"
        << "";
    QTest::newRow("partial") << "create index i on t(a) where b is not null and c > 0"
                             << "Index i () Fields: a"
                             << "b is not null and c > 0";
    QTest::newRow("quotes and comments")
        << "create index \"i(\" on \"t\" /* ( */ (a) -- where x\n WHERE (c <> 'where')"
        << "Index i( () Fields: a"
        << "(c <> 'where')";
}

void TstWorkSchema::sqliteIndexColumnsAsWritten() {
    QFETCH(QString, index);
    QFETCH(QString, line);
    QFETCH(QString, filter);
    TConnection c;
    c.Open(Database(QStringLiteral("indexes"), "create table t(a int, b text, c text);"));
    c.Execute(index);
    const std::unique_ptr<TRecordset> rows = c.OpenSchema(
        TSchemaKind::Indexes, {QVariant(), QVariant(), QVariant(), QVariant(), QStringLiteral("t")});
    QString text;
    TFrameWork::AppendIndexLines(*rows, text);
    QCOMPARE(text, line);
    for (rows->First(); !rows->Eof(); rows->Next())
        QCOMPARE(rows->FieldByName(QStringLiteral("FILTER_CONDITION")).AsText(), filter);
}

void TstWorkSchema::listsFollowStatementsThatChangeTables() {
    TFrameWork* work = Open(QStringLiteral("Beispiel"), m_sample);
    Click(work->LbxTables, Item(work->LbxTables, "Kunden"));
    Run(work, QStringLiteral("create table Neu(x int);\ndrop view v;"));
    QCOMPARE(Entries(work->LbxTables), (QStringList{"Kunden", "Neu", "Orte"}));
    QCOMPARE(Caption(work->PnlTables), QStringLiteral("Tabellen (3)"));
    QCOMPARE(work->LbxTables->currentItem()->text(), QStringLiteral("Kunden"));
    QCOMPARE(Caption(work->PnlFields), QStringLiteral("Felder (5)"));
    Run(work, QStringLiteral("alter table Kunden add column Mail text"));
    QCOMPARE(Caption(work->PnlFields), QStringLiteral("Felder (6)"));
    // A view's statement names select and runs as one.
    Run(work, QStringLiteral("create view w as select Ort from Orte"));
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList()); // run once, not again by the fetch
    QCOMPARE(Entries(work->LbxTables), (QStringList{"Kunden", "Neu", "Orte", "w"}));

    // Statements that change no table leave the lists alone.
    TConnection other;
    other.Open(m_sample);
    other.Execute(QStringLiteral("create table Fremd(x int)"));
    Run(work, QStringLiteral("insert into Neu values (1);"));
    QCOMPARE(Entries(work->LbxTables), (QStringList{"Kunden", "Neu", "Orte", "w"}));

    // A failing statement is named by its place; the tables made before it are listed.
    Run(work, QStringLiteral("create table A1(x int);\ncreate table A2(x int);\ninsert into Nix values (1);\n"
                             "create table A3(x int);"));
    const QStringList shown = MsgBox::TakeShownTexts();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().startsWith(QStringLiteral("Anweisung 3 von 4: ")) && shown.first().contains("Nix"),
             qPrintable(shown.first()));
    QCOMPARE(Entries(work->LbxTables), (QStringList{"A1", "A2", "Fremd", "Kunden", "Neu", "Orte", "w"}));
    Run(work, QStringLiteral("insert into Nix values (1);"));
    QVERIFY(!MsgBox::TakeShownTexts().first().startsWith(QStringLiteral("Anweisung")));

    // The chosen table gone, its fields go too.
    Run(work, QStringLiteral("alter table Kunden rename to Kunde2"));
    QVERIFY(Item(work->LbxTables, "Kunde2"));
    QVERIFY(work->LbxTables->selectedItems().isEmpty());
    QCOMPARE(Entries(work->LbxFields), QStringList());
}

void TstWorkSchema::statementsThatChangeTables_data() {
    QTest::addColumn<QString>("statement");
    QTest::addColumn<bool>("changes");
    QTest::newRow("create table") << "CREATE TABLE t (a int)" << true;
    QTest::newRow("comments first") << "-- neu\n/* x */ create or replace temp view v as select 1" << true;
    QTest::newRow("materialized view") << "DROP MATERIALIZED VIEW IF EXISTS m" << true;
    QTest::newRow("virtual table") << "create virtual table f using fts5(x)" << true;
    QTest::newRow("alter table") << "alter table t add column b int" << true;
    QTest::newRow("rename table") << "RENAME TABLE a TO b" << true;
    QTest::newRow("drop schema") << "drop schema s cascade" << true;
    QTest::newRow("search path") << "set local search_path to s" << true;
    QTest::newRow("attach") << "attach database 'x.db' as x" << true;
    QTest::newRow("index") << "create unique index i on t(a)" << false;
    QTest::newRow("insert from select") << "insert into t select * from u" << false;
    QTest::newRow("words in a text") << "select 'create table x'" << false;
    QTest::newRow("other setting") << "set datestyle to german" << false;
}

void TstWorkSchema::statementsThatChangeTables() {
    QFETCH(QString, statement);
    QFETCH(bool, changes);
    QCOMPARE(TFrameWork::ChangesTables(statement), changes);
}

// Each kind's name in status panel 4 is painted whole, beside panel 5 rather than over it,
// while the report runs (the bar is repainted before the event loop lays it out anew).
void TstWorkSchema::connectionReportProgressIsReadable() {
    TFrameWork* work = Open(QStringLiteral("Beispiel"), m_sample);
    auto* panel = work->findChild<QLabel*>(QStringLiteral("StatBarPanel4"));
    auto* next = work->findChild<QLabel*>(QStringLiteral("StatBarPanel5"));
    QVERIFY(panel && next);
    struct TPaintCheck : QObject {
        QLabel* Panel;
        QLabel* Next;
        QStringList Cut;
        int Paints = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint) {
                ++Paints;
                const int needed = Panel->fontMetrics().horizontalAdvance(Panel->text());
                if (Panel->contentsRect().width() < needed ||
                    Panel->geometry().right() >= Next->geometry().left())
                    Cut << Panel->text();
            }
            return false;
        }
    } check;
    check.Panel = panel;
    check.Next = next;
    panel->installEventFilter(&check);
    work->BuildConnectionReport();
    panel->removeEventFilter(&check);
    QVERIFY(check.Paints >= 40);
    QCOMPARE(check.Cut, QStringList());
}

void TstWorkSchema::connectionReportKeepsRowsBeforeAnError_data() {
    QTest::addColumn<QString>("driver");
    QTest::newRow("sqlite") << QString();
    QTest::newRow("sqlite3 odbc driver") << QStringLiteral("SQLite3");
}

// A view whose table is gone makes the columns of the database fail when the reader comes to
// it: the columns read before stay in the report, followed by the error's text.
void TstWorkSchema::connectionReportKeepsRowsBeforeAnError() {
    QFETCH(QString, driver);
    const QString file =
        Database(QStringLiteral("broken"), "create table a (x int); create table gone (y int);"
                                           "create view v as select y from gone; drop table gone;"
                                           "create table z (w int);");
    const QString path = TConnectionString(file).Value(QStringLiteral("Data Source"));
    TFrameWork* work = Open(
        QStringLiteral("Kaputt"),
        driver.isEmpty() ? file : QStringLiteral("Provider=ODBC;Driver=%1;Database=%2").arg(driver, path));
    const QString report = work->BuildConnectionReport();
    const qsizetype begin = report.indexOf(QStringLiteral("SchemaInfo=4 Columns"));
    const QString columns = report.mid(begin, report.indexOf(QStringLiteral("SchemaInfo=5 "), begin) - begin);
    QVERIFY2(columns.contains(QStringLiteral("TABLE_NAME=a")), qPrintable(columns));
    QVERIFY2(columns.contains(QStringLiteral("\r\n Exception: TDataError ")) && columns.contains(u"gone"),
             qPrintable(columns));
}

QTEST_MAIN(TstWorkSchema)
#include "tst_workschema.moc"
