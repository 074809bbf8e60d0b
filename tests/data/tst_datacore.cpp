// The provider-independent pieces: parameter parsing, connection strings, the row store and
// the value texts.

#include "data/ConnectionString.h"
#include "data/Query.h"
#include "data/Recordset.h"
#include "data/RowStore.h"
#include "data/SqlParameters.h"

#include <QLocale>
#include <QTest>
#include <atomic>
#include <thread>

class TestDataCore : public QObject {
    Q_OBJECT

private slots:
    void parameterNames_data();
    void parameterNames();
    void bindReplacesEveryOccurrence();
    void newTextRebuildsParameters();
    void connectionString_data();
    void connectionString();
    void rowStoreKeepsEveryKind();
    void rowStoreIsReadableWhileRowsArrive();
    void rowStoreHoldsRowsLargerThanTheNextBlock();
    void rowStoreKeepsRowsThatOutgrowTheirBlockMidway();
    void cellText_data();
    void cellText();
    void emptyRecordsetIsAtBothEnds();
    void sqlTextEndsEveryLineWithCrLf_data();
    void sqlTextEndsEveryLineWithCrLf();
};

void TestDataCore::parameterNames_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("each name once") << "select :a, :b from t where x = :A" << QStringList{"a", "b"};
    QTest::newRow("cast") << "select x::int from t where y = :p" << QStringList{"p"};
    QTest::newRow("literals and comments")
        << "select ':no', \":no2\" from t -- :c\n where /* :d */ z = :e" << QStringList{"e"};
    QTest::newRow("doubled quote") << "select 'it''s :x', :y" << QStringList{"y"};
    QTest::newRow("dollar quoting") << "select $$ :x $$, $tag$ :y $tag$, $1 from t where a = :z"
                                    << QStringList{"z"};
    QTest::newRow("escape string") << "select E'it\\'s :x' from t where a = :y" << QStringList{"y"};
    QTest::newRow("array slice") << "select a[1:2] from t" << QStringList{};
    QTest::newRow("assignment") << "x := 5" << QStringList{};
    QTest::newRow("underscore and umlaut") << "select :_under1, :Ümlaut" << QStringList{"_under1", "Ümlaut"};
    QTest::newRow("unterminated comment") << "select :a /* :b" << QStringList{"a"};
}

void TestDataCore::parameterNames() {
    QFETCH(QString, sql);
    QFETCH(QStringList, names);
    QCOMPARE(TSqlParameters::Names(sql), names);
}

void TestDataCore::bindReplacesEveryOccurrence() {
    TQuery q;
    q.SetSql(QStringLiteral("select :a, ':a', :b, :A"));
    q.Parameters().ParamByName(QStringLiteral("a")).Value = 1;
    q.Parameters().ParamByName(QStringLiteral("b")).Value = QStringLiteral("x");
    const TStatement s =
        TSqlParameters::Bind(q.Sql(), q.Parameters(), [](int n) { return QStringLiteral("$%1").arg(n); });
    QCOMPARE(s.Sql, QStringLiteral("select $1, ':a', $2, $3"));
    QCOMPARE(s.Values, QVariantList({1, QStringLiteral("x"), 1}));
}

void TestDataCore::newTextRebuildsParameters() {
    TQuery q;
    q.SetSql(QStringLiteral("select :a, :b"));
    q.Parameters()[1].Value = 7;
    q.SetSql(QStringLiteral("select :b, :c"));
    QCOMPARE(q.Parameters().Count(), 2);
    QCOMPARE(q.Parameters()[0].Name, QStringLiteral("b"));
    QCOMPARE(q.Parameters()[0].Value.toInt(), 7); // a name that stays keeps its value
    QVERIFY(q.Parameters()[1].Value.isNull());
    QVERIFY(!q.Parameters().FindParam(QStringLiteral("a")));
}

void TestDataCore::connectionString_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("plain") << "Provider=SQLite;Data Source=/tmp/a.db"
                           << "data source"
                           << "/tmp/a.db";
    QTest::newRow("double quoted") << "Password=\"a;b\";User ID=u"
                                   << "Password"
                                   << "a;b";
    QTest::newRow("single quoted, doubled") << "Password='it''s';x=1"
                                            << "password"
                                            << "it's";
    QTest::newRow("blanks around") << " Provider = PostgreSQL ; Initial Catalog = db "
                                   << "Initial Catalog"
                                   << "db";
    QTest::newRow("last wins") << "a=1;a=2"
                               << "A"
                               << "2";
    QTest::newRow("missing") << "a=1"
                             << "b"
                             << "";
}

void TestDataCore::connectionString() {
    QFETCH(QString, text);
    QFETCH(QString, key);
    QFETCH(QString, value);
    const TConnectionString cs(text);
    QCOMPARE(cs.Value(key), value);
    // Writing it back and reading again gives the same values.
    QCOMPARE(TConnectionString(cs.ToString()).Value(key), value);
}

void TestDataCore::rowStoreKeepsEveryKind() {
    TRowStore store(9);
    const QByteArray text = QStringLiteral("Grüße").toUtf8();
    const QByteArray bytes("\0\x01\xff", 3);
    store.BeginRow();
    store.AddNull();
    store.AddInt(-5);
    store.AddInt(40000);
    store.AddInt(Q_INT64_C(-9000000000));
    store.AddReal(2.5);
    store.AddText(text.constData(), text.size());
    store.AddBytes(bytes.constData(), bytes.size());
    store.AddDate(-1);
    store.AddTimestamp(Q_INT64_C(1700000000123));
    store.EndRow();
    QCOMPARE(store.RowCount(), 1);
    QVERIFY(store.Cell(0, 0).IsNull());
    QCOMPARE(store.Cell(0, 1).Int, -5);
    QCOMPARE(store.Cell(0, 2).Int, 40000);
    QCOMPARE(store.Cell(0, 3).Int, Q_INT64_C(-9000000000));
    QCOMPARE(store.Cell(0, 4).Real, 2.5);
    QCOMPARE(QByteArray(store.Cell(0, 5).Data, store.Cell(0, 5).Size), text);
    QCOMPARE(store.Cell(0, 6).Kind, TCell::Bytes);
    QCOMPARE(QByteArray(store.Cell(0, 6).Data, store.Cell(0, 6).Size), bytes);
    QCOMPARE(store.Cell(0, 7).Kind, TCell::Date);
    QCOMPARE(store.Cell(0, 7).Int, -1);
    QCOMPARE(store.Cell(0, 8).Int, Q_INT64_C(1700000000123));
    // A row bigger than a block gets its own.
    const QByteArray big(600 * 1024, 'x');
    store.BeginRow();
    for (int i = 0; i < 9; ++i)
        store.AddText(big.constData(), big.size());
    store.EndRow();
    QCOMPARE(store.Cell(1, 8).Size, big.size());
    QCOMPARE(store.RowBytes(0).size() > 0, true);
}

void TestDataCore::rowStoreHoldsRowsLargerThanTheNextBlock() {
    // Rows too small for a block of their own but larger than the block that comes next
    // once used to be copied past its end.
    TRowStore store(1);
    for (const int size : {10, 40 * 1024, 100 * 1024, 200 * 1024, 20}) {
        const QByteArray value(size, char('a' + size % 26));
        store.BeginRow();
        store.AddText(value.constData(), value.size());
        store.EndRow();
    }
    for (int row = 0; row < 5; ++row) {
        const TCell cell = store.Cell(row, 0);
        QCOMPARE(QByteArray(cell.Data, cell.Size), QByteArray(cell.Size, cell.Data[0]));
    }
    QCOMPARE(store.Cell(3, 0).Size, 200 * 1024);
}

void TestDataCore::rowStoreKeepsRowsThatOutgrowTheirBlockMidway() {
    // Values go straight to the block's free end; a row whose later values no longer fit
    // moves to a new block with the values written before. Sizes vary so that rows run out
    // of room at every column, some beyond the scratch space first taken.
    const auto value = [](int row, int column) {
        return QByteArray((row * 7919 + column * 104729) % 9000, char('a' + (row + column) % 26));
    };
    TRowStore store(4);
    TRowStore copy(4);
    const int rows = 3000;
    for (int row = 0; row < rows; ++row) {
        store.BeginRow();
        store.AddInt(row);
        for (int column = 1; column < 4; ++column) {
            const QByteArray v = value(row, column);
            store.AddText(v.constData(), v.size());
        }
        const QByteArray pending = store.PendingRow();
        store.EndRow();
        QCOMPARE(store.RowBytes(row), pending);
        copy.AppendEncoded(pending);
    }
    for (int row = 0; row < rows; ++row)
        for (const TRowStore* s : {&store, &copy}) {
            QCOMPARE(s->Cell(row, 0).Int, row);
            for (int column = 1; column < 4; ++column) {
                const TCell cell = s->Cell(row, column);
                QCOMPARE(QByteArray(cell.Data, cell.Size), value(row, column));
            }
        }
}

void TestDataCore::rowStoreIsReadableWhileRowsArrive() {
    const qint64 rows = 300000;
    TRowStore store(2);
    std::atomic<bool> failed{false};
    std::thread writer([&] {
        for (qint64 i = 0; i < rows; ++i) {
            const QByteArray name = QByteArray::number(i);
            store.BeginRow();
            store.AddInt(i);
            store.AddText(name.constData(), name.size());
            store.EndRow();
        }
    });
    qint64 checked = 0;
    while (checked < rows) {
        const qint64 count = store.RowCount();
        for (; checked < count; checked += 97) {
            const TCell id = store.Cell(checked, 0);
            const TCell name = store.Cell(checked, 1);
            if (id.Int != checked || QByteArray(name.Data, name.Size) != QByteArray::number(checked))
                failed = true;
        }
    }
    writer.join();
    QVERIFY(!failed);
    QCOMPARE(store.RowCount(), rows);
}

void TestDataCore::cellText_data() {
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("expected");
    const QLocale l = QLocale::system();
    const QString dp = l.decimalPoint();
    QString dateFormat = l.dateFormat(QLocale::ShortFormat);
    if (!dateFormat.contains(QLatin1String("yyyy")))
        dateFormat.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    QTest::newRow("null") << QVariant() << int(TDataType::VarWChar) << "";
    QTest::newRow("integer without group separator")
        << QVariant(1234567) << int(TDataType::Integer) << "1234567";
    QTest::newRow("negative") << QVariant(-42) << int(TDataType::BigInt) << "-42";
    QTest::newRow("real") << QVariant(1.5) << int(TDataType::Double) << "1" + dp + "5";
    QTest::newRow("numeric as text") << QVariant("12.25") << int(TDataType::Numeric) << "12" + dp + "25";
    QTest::newRow("boolean") << QVariant(1) << int(TDataType::Boolean) << "True";
    QTest::newRow("date text") << QVariant("2024-03-01") << int(TDataType::DBDate)
                               << l.toString(QDate(2024, 3, 1), dateFormat);
    QTest::newRow("timestamp at midnight") << QVariant("2024-03-01 00:00:00") << int(TDataType::DBTimeStamp)
                                           << l.toString(QDate(2024, 3, 1), dateFormat);
    QTest::newRow("not a date stays") << QVariant("soon") << int(TDataType::DBDate) << "soon";
    QTest::newRow("bytes as hex") << QVariant(QByteArray("\x01\xab", 2)) << int(TDataType::LongVarBinary)
                                  << "0x01AB";
    QTest::newRow("text") << QVariant("Grüße") << int(TDataType::LongVarWChar) << "Grüße";
}

void TestDataCore::cellText() {
    QFETCH(QVariant, value);
    QFETCH(int, type);
    QFETCH(QString, expected);
    const QByteArray row = TRecordset::EncodeValues({value});
    QCOMPARE(TRecordset::CellText(TRowStore::CellOfRow(row.constData(), 0), TDataType(type)), expected);
}

void TestDataCore::emptyRecordsetIsAtBothEnds() {
    TColumnInfo column;
    column.Name = QStringLiteral("a");
    std::unique_ptr<TRecordset> rs = TRecordset::CreateStatic({column});
    rs->First();
    QVERIFY(rs->Bof());
    QVERIFY(rs->Eof());
    QCOMPARE(rs->RecordCount(), 0);
    QVERIFY(!rs->Supports(TCursorOption::Update));
}

void TestDataCore::sqlTextEndsEveryLineWithCrLf_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("stored");
    QTest::newRow("one line") << "select 1"
                              << "select 1\r\n";
    QTest::newRow("lines") << "select 1\nfrom t"
                           << "select 1\r\nfrom t\r\n";
    QTest::newRow("final break") << "select 1\r\n"
                                 << "select 1\r\n";
    QTest::newRow("empty line kept") << "a\n\nb"
                                     << "a\r\n\r\nb\r\n";
}

void TestDataCore::sqlTextEndsEveryLineWithCrLf() {
    QFETCH(QString, sql);
    QFETCH(QString, stored);
    TQuery q;
    q.SetSql(sql);
    QCOMPARE(q.SqlText(), stored);
}

QTEST_GUILESS_MAIN(TestDataCore)
#include "tst_datacore.moc"
