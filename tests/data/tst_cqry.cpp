#include "data/CQry.h"
#include "data/Connection.h"
#include "data/DataError.h"
#include "data/Query.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>

class TestCQry : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void openQueryReturnsColumnsWithoutRows();
    void expandSql_data();
    void expandSql();
    void idNewGivesAFreshGuidPerOccurrence_data();
    void idNewGivesAFreshGuidPerOccurrence();
    void positionalBinding_data();
    void positionalBinding();
    void errorMessages_data();
    void errorMessages();
    void givenOpenQueryIsReattachedAndReopened();
    void noOpenLeavesLaterErrorsUnwrapped();

private:
    TConnection m_connection;
};

void TestCQry::initTestCase() {
    const QString file =
        QDir(qEnvironmentVariable("TABULO_TEST_TMP", QDir::tempPath())).filePath("cqry.sqlite");
    QFile::remove(file);
    m_connection.Open(QStringLiteral("Provider=SQLite;Mode=Create;Data Source=") + file);
    m_connection.Execute(
        QStringLiteral("CREATE TABLE T (Id INTEGER, Kunde TEXT, Name TEXT);"
                       "INSERT INTO T VALUES (1, 'k1', 'Anna'), (2, 'k2', 'Bert'), (3, 'k3', '50%')"));
    TQry::DefaultConnection = &m_connection;
}

void TestCQry::openQueryReturnsColumnsWithoutRows() {
    std::unique_ptr<TQuery> q = TQry::OpenQuery(QStringLiteral("select * from T where 1=0"), false);
    QVERIFY(q->Active());
    QCOMPARE(q->Fields().Count(), 3);
    QCOMPARE(q->Fields()[1].Name(), QStringLiteral("Kunde"));
    QCOMPARE(q->RecordCount(), 0);
    QVERIFY(q->Eof());
}

void TestCQry::expandSql_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("expected");
    QTest::newRow("both letter cases") << "{ID} = {id}" << QVariantList{5} << QStringList{"Id"} << "5 = 5";
    QTest::newRow("no matching name") << "x = {Foo}" << QVariantList{5} << QStringList{"Id"} << "x = {Foo}";
    QTest::newRow("null argument") << "x = '{a}'" << QVariantList{QVariant()} << QStringList{"a"} << "x = ''";
    QTest::newRow("no argument for the name") << "{b}" << QVariantList{1} << QStringList{"a", "b"} << "{b}";
    QTest::newRow("IdNew given by name") << "{IdNew}" << QVariantList{"abc"} << QStringList{"IdNew"} << "abc";
    QTest::newRow("reserved word in other case") << "{idnew}" << QVariantList{} << QStringList{} << "{idnew}";
    QTest::newRow("inserted unescaped") << "{v}" << QVariantList{"it's"} << QStringList{"v"} << "it's";
}

void TestCQry::expandSql() {
    QFETCH(QString, sql);
    QFETCH(QVariantList, args);
    QFETCH(QStringList, names);
    QFETCH(QString, expected);
    QCOMPARE(TQry::ExpandSql(sql, args, names), expected);
}

void TestCQry::idNewGivesAFreshGuidPerOccurrence_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("pattern");
    const QString guid = QStringLiteral("\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}");
    QTest::newRow("two exact") << "{IdNew},{IdNew}"
                               << "^(" + guid + "),(" + guid + ")$";
    // Each pass replaces the first occurrence found without regard to case.
    QTest::newRow("other case first") << "{idnew},{IdNew}"
                                      << "^(" + guid + "),(" + guid + ")$";
}

void TestCQry::idNewGivesAFreshGuidPerOccurrence() {
    QFETCH(QString, sql);
    QFETCH(QString, pattern);
    const QString expanded = TQry::ExpandSql(sql, {}, {});
    const QRegularExpressionMatch m = QRegularExpression(pattern).match(expanded);
    QVERIFY2(m.hasMatch(), qPrintable(expanded));
    QCOMPARE(m.captured(1).size(), 38);
    QVERIFY(m.captured(1) != m.captured(2));
}

void TestCQry::positionalBinding_data() {
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<QVariantList>("expected");
    QTest::newRow("extra argument ignored") << QVariantList{1, 2, 3} << QVariantList{1, 2};
    QTest::newRow("missing argument keeps the old value") << QVariantList{1} << QVariantList{1, 7};
}

void TestCQry::positionalBinding() {
    QFETCH(QVariantList, args);
    QFETCH(QVariantList, expected);
    TQuery q;
    q.SetSql(QStringLiteral("select * from T where Id = :a or Id = :b"));
    q.Parameters()[1].Value = 7;
    TQry::PrepareQuery(QStringLiteral("select * from T where Id = :a or Id = :b"), args, {}, true, &q);
    QCOMPARE(q.Parameters().Count(), 2);
    QCOMPARE(q.Parameters()[0].Value.toInt(), expected[0].toInt());
    QCOMPARE(q.Parameters()[1].Value.toInt(), expected[1].toInt());
}

void TestCQry::errorMessages_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("message"); // exact, or a prefix when it ends in "…"
    QTest::newRow("count, with a percent sign")
        << "select * from T where Name like '%0%' and Id = :a" << QVariantList{1} << QStringList{"a", "b"}
        << QStringLiteral(
               "Interne Fehler in Abfrage \r\nselect * from T where Name like '%0%' and Id = :a\r\n\r\n\r\n"
               "Anzahl Argumenten (1) stimmt mit dem Anzahl der Argumentennamen (2) nicht überein");
    QTest::newRow("parameter not in list")
        << "select * from T where Kunde = :Kunde" << QVariantList{1} << QStringList{"Id"}
        << QStringLiteral("Interne Fehler in Abfrage \r\nselect * from T where Kunde = :Kunde\r\n\r\n\r\n"
                          "Parameter Kunde ist nicht in der Liste");
    QTest::newRow("open fails") << "select * from Nope" << QVariantList{} << QStringList{}
                                << QStringLiteral(
                                       "Interne Fehler bei SQL-Abfrage\r\nselect * from Nope\r\n\r\n\r\n…");
    QTest::newRow("count message shows the expanded text")
        << "select {x} from T where Id = :a" << QVariantList{"Name", 1, 2} << QStringList{"x", "a"}
        << QStringLiteral(
               "Interne Fehler in Abfrage \r\nselect Name from T where Id = :a\r\n\r\n\r\n"
               "Anzahl Argumenten (3) stimmt mit dem Anzahl der Argumentennamen (2) nicht überein");
}

void TestCQry::errorMessages() {
    QFETCH(QString, sql);
    QFETCH(QVariantList, args);
    QFETCH(QStringList, names);
    QFETCH(QString, message);
    try {
        delete TQry::PrepareQuery(sql, args, names, false, nullptr);
        QFAIL("no error");
    } catch (const TError& e) {
        if (message.endsWith(u'…'))
            QVERIFY2(e.Message().startsWith(message.chopped(1)) && e.Message().size() > message.size(),
                     qPrintable(e.Message()));
        else
            QCOMPARE(e.Message(), message);
    }
}

void TestCQry::givenOpenQueryIsReattachedAndReopened() {
    TConnection other;
    other.Open(m_connection.ConnectionString());
    TQuery q;
    q.SetConnection(&other);
    q.SetSql(QStringLiteral("select 1"));
    q.Open();
    TQuery* result =
        TQry::PrepareQuery(QStringLiteral("select Name from T where Id = :id"), {2}, {"id"}, false, &q);
    QCOMPARE(result, &q);
    QCOMPARE(q.Connection(), &m_connection);
    QVERIFY(q.Active());
    QCOMPARE(q.Fields()[0].AsText(), QStringLiteral("Bert"));
}

void TestCQry::noOpenLeavesLaterErrorsUnwrapped() {
    std::unique_ptr<TQuery> q = TQry::OpenQuery(QStringLiteral("select * from Nope"), true);
    QVERIFY(!q->Active());
    try {
        q->Open();
        QFAIL("no error");
    } catch (const TDataError& e) {
        QVERIFY(!e.Message().startsWith(QLatin1String("Interne Fehler")));
    }
}

QTEST_GUILESS_MAIN(TestCQry)
#include "tst_cqry.moc"
