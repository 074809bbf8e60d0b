// Names read from a database written back into SQL: quoted exactly where the database would
// read them otherwise, on every provider.

#include "data/Connection.h"
#include "data/Identifiers.h"
#include "data/Query.h"
#include "tests/data/ProviderFixtures.h"

#include <QTest>

class TstIdentifiers : public QObject {
    Q_OBJECT
private slots:
    void rules_data();
    void rules();
    void namesReadAsThemselves_data() { AddProviderRows(); }
    void namesReadAsThemselves();
};

void TstIdentifiers::rules_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("folding");
    QTest::addColumn<bool>("quoted");
    const int lower = int(TIdentifierCase::Lower);
    const int upper = int(TIdentifierCase::Upper);
    const int none = int(TIdentifierCase::Insensitive);
    QTest::newRow("plain") << "kunden_2" << lower << false;
    QTest::newRow("upper case on a lower-folding database") << "Mixed" << lower << true;
    QTest::newRow("upper case where case does not matter") << "Mixed" << none << false;
    QTest::newRow("lower case on an upper-folding database") << "kunden" << upper << true;
    QTest::newRow("upper case on an upper-folding database") << "KUNDEN" << upper << false;
    QTest::newRow("umlaut") << "größe" << lower << false;
    QTest::newRow("blank") << "two words" << none << true;
    QTest::newRow("semicolon") << "x; drop table victim; --" << none << true;
    QTest::newRow("quote") << "a\"b" << none << true;
    QTest::newRow("leading digit") << "1abc" << none << true;
    QTest::newRow("empty") << "" << none << true;
    QTest::newRow("reserved word") << "select" << none << true;
    QTest::newRow("reserved word in capitals") << "ORDER" << none << true;
}

void TstIdentifiers::rules() {
    QFETCH(QString, name);
    QFETCH(int, folding);
    QFETCH(bool, quoted);
    QCOMPARE(IdentifierNeedsQuotes(name, TIdentifierCase(folding), SqlReservedWords()), quoted);
}

// Each table holds one row naming itself; a statement built from a name must read that very
// table, and a name never runs a second statement.
void TstIdentifiers::namesReadAsThemselves() {
    USE_PROVIDER_FIXTURE(f);
    TConnection& c = db.Connection();
    const bool caseSensitive = f.Name.contains(QLatin1String("postgresql"));
    QStringList names = {QStringLiteral("plain"),     QStringLiteral("x; drop table victim; --"),
                         QStringLiteral("two words"), QStringLiteral("order"),
                         QStringLiteral("quo\"te"),   QStringLiteral("Mixed")};
    if (caseSensitive)
        names << QStringLiteral("mixed");
    c.Execute(QStringLiteral("CREATE TABLE victim (tag VARCHAR(40))"));
    for (const QString& name : names) {
        const QString quoted = u'"' + QString(name).replace(u'"', QLatin1String("\"\"")) + u'"';
        c.Execute(QStringLiteral("CREATE TABLE %1 (tag VARCHAR(40))").arg(quoted));
        c.Execute(QStringLiteral("INSERT INTO %1 VALUES ('%2')")
                      .arg(quoted, QString(name).replace(u'\'', QLatin1String("''"))));
    }
    QCOMPARE(c.SqlName(QStringLiteral("plain")), QStringLiteral("plain"));
    QCOMPARE(c.SqlName(QStringLiteral("Mixed")) == QLatin1String("Mixed"), !caseSensitive);
    for (const QString& name : names) {
        TQuery q;
        q.SetConnection(&c);
        q.SetSql(QStringLiteral("SELECT tag FROM ") + c.SqlName(name) + QStringLiteral(" WHERE 1=1"));
        q.Open();
        QCOMPARE(q.RecordCount(), 1);
        QCOMPARE(q.Fields()[0].AsText(), name);
    }
    TQuery victim;
    victim.SetConnection(&c);
    victim.SetSql(QStringLiteral("SELECT count(*) FROM victim"));
    victim.Open();
    QCOMPARE(victim.Fields()[0].AsInteger(), 0);
}

QTEST_GUILESS_MAIN(TstIdentifiers)
#include "tst_identifiers.moc"
