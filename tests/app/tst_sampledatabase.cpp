#include "app/Main.h"
#include "app/SampleDatabase.h"
#include "catalogue/DBLst.h"
#include "settings/Error.h"
#include "settings/IniFileEx.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The sample database a first start offers, generated from the real script, read back with
// the sqlite3 client.
class TstSampleDatabase : public QObject {
    Q_OBJECT
private slots:
    void init();
    void firstStartGeneratesTheDatabaseAndStoresTheEntry();
    void storeThatWasUsedBeforeGetsNothing_data();
    void storeThatWasUsedBeforeGetsNothing();
    void existingDatabaseFileIsKept();
    void failingScriptLeavesNoFileAndNoEntry();
    void sampleUsesItsListsWithRealisticSpreads();

private:
    QString Path(const QString& name) const { return m_dir->filePath(name); }
    QStringList Catalogue();
    // Lines the sqlite3 client prints for the query, fields separated by "|".
    QStringList Sqlite(const QString& database, const QString& sql);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TIniFileEx> m_store;
};

void TstSampleDatabase::init() {
    m_store.reset();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_store = std::make_unique<TIniFileEx>(Path(QStringLiteral("settings.sqlite")));
}

QStringList TstSampleDatabase::Catalogue() {
    QStringList values;
    m_store->ReadValueList(TFrameDBLst::CatalogueSection(), values);
    return values;
}

QStringList TstSampleDatabase::Sqlite(const QString& database, const QString& sql) {
    QProcess client;
    client.start(QStringLiteral("sqlite3"), {QStringLiteral("-bail"), database, sql});
    if (!client.waitForFinished(60000) || client.exitCode() != 0)
        qWarning() << "sqlite3:" << client.errorString() << client.readAllStandardError();
    return QString::fromUtf8(client.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void TstSampleDatabase::firstStartGeneratesTheDatabaseAndStoresTheEntry() {
    const QString database = Path(QStringLiteral("daten/Tabulo/beispiel.sqlite"));
    QVERIFY(TSampleDatabase::OfferOnFirstStart(*m_store, QStringLiteral(SAMPLE_SCRIPT), database));
    QCOMPARE(Catalogue(), QStringList{QStringLiteral("Beispiel=Provider=SQLite;Data Source=") + database});
    QCOMPARE(Sqlite(database, QStringLiteral("SELECT name FROM sqlite_schema WHERE type IN ('table', 'view') ORDER BY name")),
             (QStringList{"Artikel", "Bestellpositionen", "Bestellungen", "Kunden", "Orte", "Umsatz_je_Kunde"}));
    QVERIFY(!QFile::exists(database + QStringLiteral(".neu")));
}

void TstSampleDatabase::storeThatWasUsedBeforeGetsNothing_data() {
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("scriptThere");
    QTest::newRow("catalogue kept") << TFrameDBLst::CatalogueSection() << "Lager=Provider=SQLite;Data Source=/x" << true;
    // Every entry removed and the program closed: the window placement is there, the catalogue not.
    QTest::newRow("catalogue emptied by the user") << TFrmMain::PlacementSection() << "" << true;
    QTest::newRow("no script installed") << "" << "" << false;
}

void TstSampleDatabase::storeThatWasUsedBeforeGetsNothing() {
    QFETCH(QString, section);
    QFETCH(QString, value);
    QFETCH(bool, scriptThere);
    if (section == TFrameDBLst::CatalogueSection())
        m_store->WriteValueList(section, {value});
    else if (!section.isEmpty())
        m_store->WriteInteger(section, QStringLiteral("FrameDBLst"), 185);
    const QStringList before = Catalogue();
    const QString database = Path(QStringLiteral("beispiel.sqlite"));
    const QString script = scriptThere ? QStringLiteral(SAMPLE_SCRIPT) : Path(QStringLiteral("fehlt.sql"));
    QVERIFY(!TSampleDatabase::OfferOnFirstStart(*m_store, script, database));
    QCOMPARE(Catalogue(), before);
    QVERIFY(!QFile::exists(database));
}

void TstSampleDatabase::existingDatabaseFileIsKept() {
    const QString database = Path(QStringLiteral("beispiel.sqlite"));
    Sqlite(database, QStringLiteral("CREATE TABLE Eigenes(x); INSERT INTO Eigenes VALUES (42);"));
    QVERIFY(TSampleDatabase::OfferOnFirstStart(*m_store, QStringLiteral(SAMPLE_SCRIPT), database));
    QCOMPARE(Sqlite(database, QStringLiteral("SELECT group_concat(name) FROM sqlite_schema; SELECT x FROM Eigenes")),
             (QStringList{"Eigenes", "42"}));
    QCOMPARE(Catalogue().size(), 1);
}

void TstSampleDatabase::failingScriptLeavesNoFileAndNoEntry() {
    const QString script = Path(QStringLiteral("kaputt.sql"));
    QFile file(script);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("CREATE TABLE Orte(OrtId INTEGER PRIMARY KEY);\nINSERT INTO Fehlt VALUES (1);\n");
    file.close();
    const QString database = Path(QStringLiteral("beispiel.sqlite"));
    QVERIFY_THROWS_EXCEPTION(TError, TSampleDatabase::OfferOnFirstStart(*m_store, script, database));
    QVERIFY(!QFile::exists(database));
    QVERIFY(!QFile::exists(database + QStringLiteral(".neu")));
    QVERIFY(!m_store->SectionExists(TFrameDBLst::CatalogueSection()));
}

void TstSampleDatabase::sampleUsesItsListsWithRealisticSpreads() {
    const QString database = Path(QStringLiteral("beispiel.sqlite"));
    TSampleDatabase::Generate(QStringLiteral(SAMPLE_SCRIPT), database);
    // Every surname, first name, street and place of the lists is used.
    QCOMPARE(Sqlite(database, QStringLiteral(
                 "SELECT count(DISTINCT Name), count(DISTINCT Vorname), "
                 "count(DISTINCT rtrim(Strasse, '0123456789 ')), count(DISTINCT OrtId) FROM Kunden")),
             QStringList{"28|22|15|32"});
    // No place where the customers all share one name; big places have more customers.
    QCOMPARE(Sqlite(database, QStringLiteral(
                 "SELECT count(*) FROM (SELECT OrtId FROM Kunden GROUP BY OrtId "
                 "HAVING count(*) >= 5 AND count(DISTINCT Name) < 5)")),
             QStringList{"0"});
    QCOMPARE(Sqlite(database, QStringLiteral(
                 "SELECT (SELECT count(*) FROM Kunden WHERE OrtId = 1) > 3 * "
                 "(SELECT count(*) FROM Kunden WHERE OrtId = 30)")),
             QStringList{"1"});
    // Orders in every month of three years, none before its customer came, more each year.
    QCOMPARE(Sqlite(database, QStringLiteral(
                 "SELECT count(DISTINCT substr(Bestelldatum, 1, 7)) FROM Bestellungen; "
                 "SELECT count(*) FROM Bestellungen b JOIN Kunden k USING (KundenNr) "
                 "WHERE b.Bestelldatum < k.KundeSeit")),
             (QStringList{"36", "0"}));
    const QStringList perYear = Sqlite(database, QStringLiteral(
        "SELECT count(*) FROM Bestellungen GROUP BY substr(Bestelldatum, 1, 4) ORDER BY substr(Bestelldatum, 1, 4)"));
    QCOMPARE(perYear.size(), 3);
    QVERIFY2(perYear[0].toInt() < perYear[1].toInt() && perYear[1].toInt() < perYear[2].toInt(),
             qPrintable(perYear.join(QLatin1Char(' '))));
    // Order values spread over orders of magnitude; order lines vary in number and quantity.
    QCOMPARE(Sqlite(database, QStringLiteral(
                 "SELECT min(w) < 1, max(w) > 100 * min(w) FROM (SELECT sum(Menge * Einzelpreis) AS w "
                 "FROM Bestellpositionen GROUP BY BestellNr); "
                 "SELECT count(DISTINCT n) >= 5 FROM (SELECT count(*) AS n FROM Bestellpositionen GROUP BY BestellNr); "
                 "SELECT count(DISTINCT Menge) >= 15 FROM Bestellpositionen")),
             (QStringList{"1|1", "1", "1"}));
}

QTEST_GUILESS_MAIN(TstSampleDatabase)
#include "tst_sampledatabase.moc"
