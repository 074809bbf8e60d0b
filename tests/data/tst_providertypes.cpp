#include "data/CProviderTypes.h"
#include "data/Connection.h"
#include "data/Provider.h"
#include "data/Recordset.h"

#include <QDir>
#include <QTest>

namespace {

// One COLUMNS row with the columns the type text reads.
std::unique_ptr<TRecordset> ColumnsRow(int dataType, int flags, const QVariant& maxLength,
                                       const QVariant& precision, const QVariant& scale) {
    std::unique_ptr<TRecordset> rs = TRecordset::CreateStatic(SchemaColumns(TSchemaKind::Columns));
    QVariantList values(rs->Fields().Count());
    values[rs->FieldByName("DATA_TYPE").Index()] = dataType;
    values[rs->FieldByName("COLUMN_FLAGS").Index()] = flags;
    values[rs->FieldByName("CHARACTER_MAXIMUM_LENGTH").Index()] = maxLength;
    values[rs->FieldByName("NUMERIC_PRECISION").Index()] = precision;
    values[rs->FieldByName("NUMERIC_SCALE").Index()] = scale;
    rs->AppendRow(values);
    rs->First();
    return rs;
}

QList<TProviderType> SampleTypes() {
    return {
        {130, "nvarchar", 4000, "max length", true, false, false},
        {130, "nchar", 4000, "length", true, true, false},
        {131, "decimal", 38, "precision,scale", true, true, false},
        {131, "numeric", 38, "precision,scale", true, true, false}, // same keys: the first one wins
        {3, "int", 10, "", true, true, false},
        {129, "varchar", 8000, "MAX LENGTH", true, false, false},
    };
}

} // namespace

class TestProviderTypes : public QObject {
    Q_OBJECT

private slots:
    void columnTypeText_data();
    void columnTypeText();
    void emptyCatalogueShowsIndicatorNames();
    void dbTypeName_data();
    void dbTypeName();
    void builtFromTheProvidersOwnTypes();
};

void TestProviderTypes::columnTypeText_data() {
    QTest::addColumn<int>("dataType");
    QTest::addColumn<int>("flags");
    QTest::addColumn<QVariant>("maxLength");
    QTest::addColumn<QVariant>("precision");
    QTest::addColumn<QVariant>("scale");
    QTest::addColumn<QString>("expected");
    const QVariant none;
    QTest::newRow("nullable") << 130 << 0x20 << QVariant(50) << none << none << "nvarchar (50) null";
    QTest::newRow("not null") << 130 << 0 << QVariant(50) << none << none << "nvarchar (50) not null";
    QTest::newRow("fixed length") << 130 << 0x10 << QVariant(8) << none << none << "nchar (8) not null";
    QTest::newRow("precision and scale")
        << 131 << 0x10 << none << QVariant(18) << QVariant(2) << "decimal (18,2) not null";
    QTest::newRow("no create params") << 3 << 0x10 << none << QVariant(10) << none << "int not null";
    QTest::newRow("long flag matches no entry") << 130 << 0xA0 << QVariant(50) << none << none << "WSTR";
    QTest::newRow("no entry, no name") << 64 << 0x20 << none << none << none << "64(00000040)";
    QTest::newRow("keyword only in capitals")
        << 129 << 0x20 << QVariant(10) << none << none << "varchar (MAX LENGTH) null";
    QTest::newRow("null length leaves the parameters out")
        << 130 << 0x20 << none << none << none << "nvarchar null";
    QTest::newRow("one of two missing leaves them out")
        << 131 << 0x10 << none << QVariant(15) << none << "decimal not null";
}

void TestProviderTypes::columnTypeText() {
    QFETCH(int, dataType);
    QFETCH(int, flags);
    QFETCH(QVariant, maxLength);
    QFETCH(QVariant, precision);
    QFETCH(QVariant, scale);
    QFETCH(QString, expected);
    const TProviderTypes types(SampleTypes());
    QCOMPARE(types.ColumnTypeText(*ColumnsRow(dataType, flags, maxLength, precision, scale)), expected);
}

void TestProviderTypes::emptyCatalogueShowsIndicatorNames() {
    const TProviderTypes types(QList<TProviderType>{});
    QCOMPARE(types.Count(), 0);
    QCOMPARE(types.ColumnTypeText(*ColumnsRow(130, 0x20, 50, {}, {})), QStringLiteral("WSTR"));
    QVERIFY(!types.FindType(130, false, false));
}

void TestProviderTypes::dbTypeName_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("name");
    QTest::newRow("0") << 0 << "EMPTY";
    QTest::newRow("14") << 14 << "DECIMAL";
    QTest::newRow("15 has no name") << 15 << "15(0000000F)";
    QTest::newRow("135") << 135 << "DBTIMESTAMP";
    QTest::newRow("139") << 139 << "139(0000008B)";
    QTest::newRow("ARRAY alone") << 0x2000 << "ARRAY";
    QTest::newRow("ARRAY with I2") << 8194 << "8194(00002002)";
    QTest::newRow("RESERVED") << 0x8000 << "RESERVED";
}

void TestProviderTypes::dbTypeName() {
    QFETCH(int, value);
    QFETCH(QString, name);
    QCOMPARE(TProviderTypes::DbTypeName(value), name);
}

void TestProviderTypes::builtFromTheProvidersOwnTypes() {
    const QString file =
        QDir(qEnvironmentVariable("TABULO_TEST_TMP", QDir::tempPath())).filePath("types.sqlite");
    QFile::remove(file);
    TConnection c;
    c.Open(QStringLiteral("Provider=SQLite;Mode=Create;Data Source=") + file);
    c.Execute(QStringLiteral("CREATE TABLE t (a VARCHAR(40) NOT NULL, b INTEGER, c TEXT, d NUMERIC(10,2), "
                             "e NUMERIC, f BLOB NOT NULL, g CHAR(3), h DATE, i)"));
    const TProviderTypes types(c);
    QVERIFY(types.Count() > 5);
    QStringList texts;
    std::unique_ptr<TRecordset> columns = c.OpenSchema(TSchemaKind::Columns, {QVariant(), QVariant(), "t"});
    for (columns->First(); !columns->Eof(); columns->Next())
        texts << types.ColumnTypeText(*columns);
    QCOMPARE(texts, QStringList({"varchar (40) not null", "integer null", "text null", "numeric (10,2) null",
                                 "numeric null", "blob not null", "char (3) null", "date null", "VARIANT"}));
}

QTEST_GUILESS_MAIN(TestProviderTypes)
#include "tst_providertypes.moc"
