// A value shown is the value stored: tricky values of every type, read through each provider
// setup, against what the database's own client (sqlite3, psql, mariadb) prints for the same
// query. The client's text is brought into the program's display rules (data/README.md) by a
// normaliser of its own here, so a change of those rules shows up as a failure in both places.
// Runs under a German locale and a zone with daylight saving (CMake sets LC_ALL and TZ).

#include "data/Connection.h"
#include "data/ConnectionString.h"
#include "data/DataError.h"
#include "data/Query.h"
#include "data/Recordset.h"
#include "data/RowStore.h"
#include "settings/Error.h"
#include "tests/data/ProviderFixtures.h"
#include "tests/support/TestSupport.h"

#include <QDateTime>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QUuid>
#include <charconv>
#include <cmath>
#include <optional>

namespace {

// How the client's text becomes the program's: the display rules.
enum class TKind {
    Text,     // unchanged
    Null,     // the empty text (the clients print "" or "NULL")
    Integer,  // unchanged digits
    Real,     // shortest digits of the double, plain unless the exponent is < -4 or >= 15
    Single,   // the same for a float
    Decimal,  // decimal comma
    Calendar, // German date, decimal comma in the seconds, offset after a blank
    Boolean,  // t/f as True/False
    Bytes,    // 0x and upper-case hex
};

enum class TDb { Sqlite, Postgres, MariaDb };

// One value: the column type and the SQL literal per database (null: the database has no
// such value), and the exact text when a text is written (it must arrive unchanged).
struct TCase {
    const char* Name;
    TKind Kind;
    const char* SqliteType;
    const char* SqliteValue;
    const char* PgType;
    const char* PgValue;
    const char* MyType;
    const char* MyValue;
    const char* Written = nullptr;
};

const char* const kLatin1Letters = "ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖØÙÚÛÜÝÞßàáâãäåæçèéêëìíîïðñòóôõöøùúûüýþÿ";

const TCase kCases[] = {
    {"null", TKind::Null, "TEXT", "NULL", "text", "NULL", "VARCHAR(10)", "NULL"},
    {"empty text", TKind::Text, "TEXT", "''", "text", "''", "VARCHAR(10)", "''", ""},
    {"tab and CR LF", TKind::Text, "TEXT", "'a'||char(9)||'b'||char(13,10)||'c'", "text", "E'a\\tb\\r\\nc'",
     "VARCHAR(20)", "'a\\tb\\r\\nc'", "a\tb\r\nc"},
    {"combining mark, emoji, right-to-left", TKind::Text, "TEXT", "'e\u0301 👍🏽 שלום'", "text",
     "'e\u0301 👍🏽 שלום'", "VARCHAR(40)", "'e\u0301 👍🏽 שלום'",
     "e\u0301 👍🏽 שלום"},
    {"Latin-1 letters", TKind::Text, "TEXT", nullptr, "text", nullptr, "VARCHAR(100)", nullptr,
     kLatin1Letters},
    {"Ú in a short text", TKind::Text, "VARCHAR(10)", "'aÚbÚc'", "varchar(10)", "'aÚbÚc'", "VARCHAR(10)",
     "'aÚbÚc'", "aÚbÚc"},
    {"largest bigint", TKind::Integer, "INTEGER", "9223372036854775807", "bigint", "9223372036854775807",
     "BIGINT", "9223372036854775807"},
    {"smallest bigint", TKind::Integer, "INTEGER", "-9223372036854775808", "bigint", "-9223372036854775808",
     "BIGINT", "-9223372036854775808"},
    {"2^53 + 1", TKind::Integer, "INTEGER", "9007199254740993", "bigint", "9007199254740993", "BIGINT",
     "9007199254740993"},
    {"30 digits", TKind::Decimal, nullptr, nullptr, "numeric(40,1)", "12345678901234567890123456789.5",
     "DECIMAL(40,1)", "12345678901234567890123456789.5"},
    {"negative decimal", TKind::Decimal, nullptr, nullptr, "numeric(10,3)", "-0.125", "DECIMAL(10,3)",
     "-0.125"},
    {"double 100000", TKind::Real, "REAL", "100000.0", "float8", "100000", "DOUBLE", "100000"},
    {"double 120000", TKind::Real, "REAL", "120000.0", "float8", "120000", "DOUBLE", "120000"},
    {"double 1e14", TKind::Real, "REAL", "1e14", "float8", "1e14", "DOUBLE", "1e14"},
    {"double 1e15", TKind::Real, "REAL", "1e15", "float8", "1e15", "DOUBLE", "1e15"},
    {"double 0.1 + 0.2", TKind::Real, "REAL", "0.1 + 0.2", "float8", "0.1::float8 + 0.2::float8", "DOUBLE",
     "0.1e0 + 0.2e0"},
    {"double 0.0001", TKind::Real, "REAL", "0.0001", "float8", "0.0001", "DOUBLE", "0.0001"},
    {"double 1.5e-7", TKind::Real, "REAL", "1.5e-7", "float8", "1.5e-7", "DOUBLE", "1.5e-7"},
    {"double 1.5e300", TKind::Real, "REAL", "-1.5e300", "float8", "-1.5e300", "DOUBLE", "-1.5e300"},
    {"double -0", TKind::Real, nullptr, nullptr, "float8", "'-0'", nullptr, nullptr},
    {"double NaN", TKind::Real, nullptr, nullptr, "float8", "'NaN'", nullptr, nullptr},
    {"double infinity", TKind::Real, "REAL", "9e999", "float8", "'Infinity'", nullptr, nullptr},
    {"double minus infinity", TKind::Real, "REAL", "-9e999", "float8", "'-Infinity'", nullptr, nullptr},
    {"float 0.1", TKind::Single, nullptr, nullptr, "real", "0.1", "FLOAT", "0.1"},
    {"float 1e6", TKind::Single, nullptr, nullptr, "real", "1e6", "FLOAT", "1e6"},
    {"float 3.4e38", TKind::Single, nullptr, nullptr, "real", "3.4e38", "FLOAT", "3.4e38"},
    {"money", TKind::Text, nullptr, nullptr, "money", "1234.56", nullptr, nullptr},
    {"boolean", TKind::Boolean, nullptr, nullptr, "boolean", "true", nullptr, nullptr},
    {"first day", TKind::Calendar, "DATE", "'0001-01-01'", "date", "'0001-01-01'", "DATE", "'0001-01-01'"},
    {"last day", TKind::Calendar, "DATE", "'9999-12-31'", "date", "'9999-12-31'", "DATE", "'9999-12-31'"},
    {"date BC", TKind::Calendar, nullptr, nullptr, "date", "'0044-03-15 BC'", nullptr, nullptr},
    {"date infinity", TKind::Calendar, nullptr, nullptr, "date", "'infinity'", nullptr, nullptr},
    {"zero date", TKind::Calendar, "DATE", "'0000-00-00'", nullptr, nullptr, "DATE", "'0000-00-00'"},
    {"zero month", TKind::Calendar, nullptr, nullptr, nullptr, nullptr, "DATE", "'2024-00-00'"},
    {"last microsecond of 1999", TKind::Calendar, "DATETIME", "'1999-12-31 23:59:59.999999'", "timestamp",
     "'1999-12-31 23:59:59.999999'", "DATETIME(6)", "'1999-12-31 23:59:59.999999'"},
    {"timestamp BC", TKind::Calendar, nullptr, nullptr, "timestamp", "'0044-03-15 12:00:00 BC'", nullptr,
     nullptr},
    {"timestamp infinity", TKind::Calendar, nullptr, nullptr, "timestamp", "'infinity'", nullptr, nullptr},
    {"midnight", TKind::Calendar, "DATETIME", "'2024-02-29 00:00:00'", "timestamp", "'2024-02-29 00:00:00'",
     "DATETIME", "'2024-02-29 00:00:00'"},
    {"spring-forward hour", TKind::Calendar, "DATETIME", "'2026-03-29 02:30:00'", "timestamp",
     "'2026-03-29 02:30:00'", "DATETIME", "'2026-03-29 02:30:00'"},
    {"spring-forward half second", TKind::Calendar, "DATETIME", "'2026-03-29 02:00:00.5'", "timestamp",
     "'2026-03-29 02:00:00.5'", "DATETIME(3)", "'2026-03-29 02:00:00.5'"},
    {"fall-back hour", TKind::Calendar, "DATETIME", "'2026-10-25 02:30:00'", "timestamp",
     "'2026-10-25 02:30:00'", "TIMESTAMP", "'2026-10-25 02:30:00'"},
    {"with time zone", TKind::Calendar, "DATETIME", "'2024-06-01T12:00:00+02:00'", "timestamptz",
     "'2024-06-01 12:00:00.25+02'", nullptr, nullptr},
    {"time with zone", TKind::Calendar, nullptr, nullptr, "timetz", "'12:00:00.5+05:30'", nullptr, nullptr},
    {"last microsecond of a day", TKind::Calendar, "TIME", "'23:59:59.999999'", "time", "'23:59:59.999999'",
     "TIME(6)", "'23:59:59.999999'"},
    {"end of day", TKind::Calendar, nullptr, nullptr, "time", "'24:00:00'", nullptr, nullptr},
    {"time beyond a day", TKind::Calendar, "TIME", "'838:59:59'", "interval", "'838:59:59'", "TIME",
     "'838:59:59'"},
    {"negative time", TKind::Calendar, "TIME", "'-01:30:00'", "interval", "'-01:30:00'", "TIME",
     "'-01:30:00'"},
    {"interval", TKind::Text, nullptr, nullptr, "interval", "'1 year 2 mons -3 days 04:05:06.789'", nullptr,
     nullptr},
    {"bytes with zero bytes", TKind::Bytes, "BLOB", "x'00ff0041'", "bytea", "'\\x00ff0041'", "VARBINARY(10)",
     "x'00ff0041'"},
};

struct TSetup {
    const char* Name;
    const char* Fixture; // of ProviderFixtures; null: MariaDB
    TDb Db;
};

const TSetup kSetups[] = {
    {"sqlite", "sqlite", TDb::Sqlite},
    {"libpq", "postgresql", TDb::Postgres},
    {"psqlodbc", "odbc-postgresql", TDb::Postgres},
    {"sqlite3 odbc", "odbc-sqlite", TDb::Sqlite},
    {"mariadb odbc", nullptr, TDb::MariaDb},
};

const TSetup& SetupNamed(const QString& name) {
    for (const TSetup& s : kSetups)
        if (name == QLatin1String(s.Name))
            return s;
    qFatal("no setup %s", qPrintable(name));
}

QString SqlText(const char* literal) {
    return QString::fromUtf8(literal);
}

// A literal of an exact text in the database's notation.
QString TextLiteral(const QString& text) {
    QString quoted = text;
    quoted.replace(u'\'', QLatin1String("''"));
    return u'\'' + quoted + u'\'';
}

// ---- the display rules, as the test reads them ----

QString GermanNumber(QString text) {
    text.replace(u'.', u',');
    return text;
}

// Shortest digits (std::to_chars), plain notation for exponents from -4 to 14.
template <typename T> QString RealText(T value) {
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("∞") : QStringLiteral("-∞");
    char buffer[80];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific).ptr;
    const QString scientific = QString::fromLatin1(buffer, end - buffer);
    const int exponent = scientific.section(u'e', 1).toInt();
    if (exponent < -4 || exponent >= 15)
        return GermanNumber(scientific).replace(u'e', u'E');
    end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed).ptr;
    return GermanNumber(QString::fromLatin1(buffer, end - buffer));
}

std::optional<double> ClientReal(QString text) {
    text = text.trimmed();
    const QString lower = text.toLower();
    if (lower == QLatin1String("nan"))
        return std::nan("");
    if (lower == QLatin1String("inf") || lower == QLatin1String("infinity"))
        return HUGE_VAL;
    if (lower == QLatin1String("-inf") || lower == QLatin1String("-infinity"))
        return -HUGE_VAL;
    const QByteArray latin = text.toLatin1();
    double value = 0;
    const auto r = std::from_chars(latin.constData(), latin.constData() + latin.size(), value);
    if (r.ec != std::errc() || r.ptr != latin.constData() + latin.size())
        return std::nullopt;
    return value;
}

// ISO dates and times into the German short formats; texts that are no day or time of day
// stay as they are.
QString GermanCalendar(const QString& text) {
    static const QRegularExpression shape(
        QStringLiteral("^(?:(\\d{4})-(\\d\\d)-(\\d\\d))?(?:[ "
                       "T]?(\\d\\d):(\\d\\d)(?::(\\d\\d)(?:\\.(\\d+))?)?)?(Z|[+-]\\d\\d(?::?\\d\\d)*)?$"));
    const QRegularExpressionMatch m = shape.match(text);
    if (!m.hasMatch() || (m.captured(1).isEmpty() && m.captured(4).isEmpty()))
        return text;
    QString out;
    if (!m.captured(1).isEmpty()) {
        if (!QDate::isValid(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt()) ||
            m.captured(1) == QLatin1String("0000"))
            return text;
        out = m.captured(3) + u'.' + m.captured(2) + u'.' + m.captured(1);
    }
    if (!m.captured(4).isEmpty()) {
        if (m.captured(4).toInt() > 23)
            return text;
        QString fraction = m.captured(7);
        while (fraction.endsWith(u'0'))
            fraction.chop(1);
        const QString seconds = m.captured(6).isEmpty() ? QStringLiteral("00") : m.captured(6);
        const QString time = m.captured(4) + u':' + m.captured(5) + u':' + seconds +
                             (fraction.isEmpty() ? QString() : u',' + fraction);
        if (out.isEmpty() || time != QLatin1String("00:00:00") || !m.captured(8).isEmpty())
            out += (out.isEmpty() ? QString() : QStringLiteral(" ")) + time;
    }
    if (!m.captured(8).isEmpty())
        out += u' ' + m.captured(8);
    return out;
}

// What the program must show for what the client printed.
QString Displayed(TKind kind, const QByteArray& client, TDb db) {
    const QString text = QString::fromUtf8(client);
    switch (kind) {
    case TKind::Text:
    case TKind::Integer:
        return text;
    case TKind::Null:
        return text == QLatin1String("NULL") ? QString() : text;
    case TKind::Real:
    case TKind::Single: {
        const std::optional<double> value = ClientReal(text);
        if (!value)
            return QStringLiteral("<no number: %1>").arg(text);
        return kind == TKind::Single ? RealText(float(*value)) : RealText(*value);
    }
    case TKind::Decimal:
        return GermanNumber(text);
    case TKind::Calendar:
        return GermanCalendar(text);
    case TKind::Boolean:
        return text == QLatin1String("t") ? QStringLiteral("True") : QStringLiteral("False");
    case TKind::Bytes:
        if (db == TDb::Postgres)
            return QStringLiteral("0x") + text.mid(2).toUpper();
        if (db == TDb::Sqlite) // quote mode: X'00ff'
            return QStringLiteral("0x") + text.mid(2, text.size() - 3).toUpper();
        return QStringLiteral("0x") + QString::fromLatin1(client.toHex().toUpper());
    }
    return text;
}

// ---- the databases and their clients ----

QByteArray RunClient(const QString& program, const QStringList& arguments, const QStringList& environment) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    for (const QString& pair : environment)
        env.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    p.setProcessEnvironment(env);
    p.start(program, arguments);
    if (!p.waitForStarted(30000))
        throw std::runtime_error(qPrintable(program + QStringLiteral(" does not start: ") + p.errorString()));
    p.closeWriteChannel();
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        throw std::runtime_error(
            qPrintable(program + QStringLiteral(" failed: ") + QString::fromUtf8(p.readAllStandardError())));
    QByteArray out = p.readAllStandardOutput();
    if (out.endsWith('\n'))
        out.chop(1);
    return out;
}

// A fresh database of one setup, with the way to ask its own client.
class TSetupDatabase {
public:
    explicit TSetupDatabase(const TSetup& setup)
        : m_setup(setup) {
        if (setup.Fixture) {
            m_fixture =
                std::make_unique<TFixtureDatabase>(ProviderFixture(QString::fromLatin1(setup.Fixture)));
            return;
        }
        const TConnectionString server(qEnvironmentVariable("TABULO_TEST_MARIADB"));
        m_database = QStringLiteral("tv_%1").arg(QUuid::createUuid().toString(QUuid::Id128).left(12));
        Mariadb(QStringLiteral("CREATE DATABASE %1 CHARACTER SET utf8mb4").arg(m_database), false);
        TConnectionString own = server;
        own.SetValue(QStringLiteral("Database"), m_database);
        m_connection = std::make_unique<TConnection>();
        m_connection->Open(own.ToString());
    }
    ~TSetupDatabase() {
        if (!m_database.isEmpty()) {
            m_connection.reset();
            try {
                Mariadb(QStringLiteral("DROP DATABASE %1").arg(m_database), false);
            } catch (const std::exception&) {
            }
        }
    }

    TConnection& Connection() { return m_fixture ? m_fixture->Connection() : *m_connection; }

    // The client's output of a one-column query (no header; the last line break cut).
    // quoted: SQLite's quote mode, which prints every digit of a number and blobs as X'..'.
    // extra: further arguments of psql.
    QByteArray Client(const QString& sql, bool quoted, const QStringList& extra = {}) const {
        switch (m_setup.Db) {
        case TDb::Sqlite: {
            const TConnectionString cs(m_fixture->ConnectionString());
            QString file = cs.Value(QStringLiteral("Data Source"));
            if (file.isEmpty())
                file = cs.Value(QStringLiteral("Database"));
            return RunClient(QStringLiteral("sqlite3"),
                             {QStringLiteral("-batch"), QStringLiteral("-bail"),
                              quoted ? QStringLiteral("-quote") : QStringLiteral("-list"), file, sql},
                             {});
        }
        case TDb::Postgres: {
            const TConnectionString base(TestSupport::PostgresConnectionString());
            const TConnectionString own(m_fixture->ConnectionString());
            QString schema = own.Value(QStringLiteral("options")).section(u'=', 1).trimmed();
            if (schema.isEmpty())
                schema = own.Value(QStringLiteral("ConnSettings")).section(u' ', -1).trimmed();
            const QString source = base.Value(QStringLiteral("Data Source"));
            return RunClient(
                QStringLiteral("psql"),
                QStringList{QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-A"),
                            QStringLiteral("-t"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
                            QStringLiteral("-h"), source.section(u':', 0, 0), QStringLiteral("-p"),
                            source.section(u':', 1, 1).isEmpty() ? QStringLiteral("5432")
                                                                 : source.section(u':', 1, 1),
                            QStringLiteral("-U"), base.Value(QStringLiteral("User ID")), QStringLiteral("-d"),
                            base.Value(QStringLiteral("Initial Catalog")), QStringLiteral("-c"), sql} +
                    extra,
                {QStringLiteral("PGPASSWORD=") + base.Value(QStringLiteral("Password")),
                 QStringLiteral("PGOPTIONS=-c search_path=") + schema});
        }
        case TDb::MariaDb:
            return Mariadb(sql, true);
        }
        return {};
    }

private:
    QByteArray Mariadb(const QString& sql, bool inOwnDatabase) const {
        const TConnectionString server(qEnvironmentVariable("TABULO_TEST_MARIADB"));
        QStringList arguments = {QStringLiteral("--no-defaults"),
                                 QStringLiteral("--default-character-set=utf8mb4"),
                                 QStringLiteral("-h"),
                                 server.Value(QStringLiteral("Server")),
                                 QStringLiteral("-P"),
                                 server.Value(QStringLiteral("Port"), QStringLiteral("3306")),
                                 QStringLiteral("-u"),
                                 server.Value(QStringLiteral("UID"), server.Value(QStringLiteral("User ID"))),
                                 QStringLiteral("-N"),
                                 QStringLiteral("-B"),
                                 QStringLiteral("-r")};
        const QString password =
            server.Value(QStringLiteral("PWD"), server.Value(QStringLiteral("Password")));
        if (!password.isEmpty())
            arguments << QStringLiteral("-p") + password;
        if (inOwnDatabase)
            arguments << m_database;
        arguments << QStringLiteral("-e") << sql;
        return RunClient(QStringLiteral("mariadb"), arguments, {});
    }

    const TSetup& m_setup;
    std::unique_ptr<TFixtureDatabase> m_fixture;
    std::unique_ptr<TConnection> m_connection;
    QString m_database;
};

// Why a setup cannot run here, or empty.
QString Unavailable(const TSetup& setup) {
    if (!setup.Fixture)
        return qEnvironmentVariableIsEmpty("TABULO_TEST_MARIADB")
                   ? QStringLiteral("TABULO_TEST_MARIADB is not set (scripts/mariadb-test-server.sh start)")
                   : QString();
    return ProviderFixture(QString::fromLatin1(setup.Fixture)).Unavailable();
}

#define USE_SETUP(var)                                                                                       \
    QFETCH(QString, setupName);                                                                              \
    const TSetup& var = SetupNamed(setupName);                                                               \
    if (const QString why = Unavailable(var); !why.isEmpty()) {                                              \
        if (TestSupport::UnderCi() && why.contains(QLatin1String("TABULO_TEST_PG")))                         \
            QFAIL(qPrintable(why));                                                                          \
        QSKIP(qPrintable(why));                                                                              \
    }

// The display rule of a column of this type.
TKind KindOf(TDataType type) {
    if (IsIntegerType(type))
        return TKind::Integer;
    switch (type) {
    case TDataType::Double:
        return TKind::Real;
    case TDataType::Single:
        return TKind::Single;
    case TDataType::Numeric:
    case TDataType::Decimal:
        return TKind::Decimal;
    case TDataType::Boolean:
        return TKind::Boolean;
    case TDataType::Date:
    case TDataType::DBDate:
    case TDataType::DBTime:
    case TDataType::DBTimeStamp:
        return TKind::Calendar;
    case TDataType::Binary:
    case TDataType::VarBinary:
    case TDataType::LongVarBinary:
        return TKind::Bytes;
    default:
        return TKind::Text;
    }
}

struct TDbCase {
    const char* Type;
    QString Value;
};

TDbCase ForDb(const TCase& c, TDb db) {
    const char* type = db == TDb::Sqlite ? c.SqliteType : db == TDb::Postgres ? c.PgType : c.MyType;
    const char* value = db == TDb::Sqlite ? c.SqliteValue : db == TDb::Postgres ? c.PgValue : c.MyValue;
    return {type, value ? SqlText(value) : TextLiteral(QString::fromUtf8(c.Written))};
}

// The first row's value as the program shows it; an error that ends the fetch is a value lost.
QString FirstValue(TConnection& c, const QString& sql) {
    try {
        TQuery q;
        q.SetConnection(&c);
        q.SetSql(sql);
        q.Open();
        q.First();
        if (q.Eof())
            return QStringLiteral("<no row>");
        return q.Fields()[0].AsText();
    } catch (const TError& e) {
        return QStringLiteral("<error: %1>").arg(e.Message());
    }
}

// Where a setup does not show the client's text: the driver itself hands over another value,
// and the program shows what it received.
struct TDeviation {
    const char* Setup;
    const char* Case;
    const char* Shown;
    const char* Why;
};

const TDeviation kDeviations[] = {
    {"psqlodbc", "date BC", "15.03.0044", "psqlODBC sends a date BC without its era"},
    {"psqlodbc", "date infinity", "0000-00-00", "psqlODBC's stand-in for an infinite date"},
    {"psqlodbc", "timestamp infinity", "31.12.9999 23:59:59",
     "psqlODBC's stand-in for an infinite timestamp"},
    {"psqlodbc", "with time zone", "01.06.2024 10:00:00,25",
     "psqlODBC sends a timestamptz as the session's wall clock, without its offset"},
    {"sqlite3 odbc", "double 0.1 + 0.2", "0,3", "the SQLite3 driver hands doubles over as text of 15 digits"},
    {"psqlodbc", "time with zone", "12:00:00.5+05:30",
     "psqlODBC reports a timetz column as text, which is shown as sent"},
};

const TDeviation* DeviationOf(const TSetup& setup, const TCase& c) {
    for (const TDeviation& d : kDeviations)
        if (qstrcmp(d.Setup, setup.Name) == 0 && qstrcmp(d.Case, c.Name) == 0)
            return &d;
    return nullptr;
}

} // namespace

class TestValues : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void displayRules_data();
    void displayRules();
    void typedTextReadsBackAsShown_data();
    void typedTextReadsBackAsShown();
    void numbersInARowReadBackAsThemselves();
    void valuesAsTheClientPrintsThem_data();
    void valuesAsTheClientPrintsThem();
    void catalogTablesAsTheClientPrintsThem_data();
    void catalogTablesAsTheClientPrintsThem();
    void gridEditsArriveUnchanged_data();
    void gridEditsArriveUnchanged();
};

void TestValues::initTestCase() {
    // The rules are written for a German desktop in a zone with daylight saving.
    QCOMPARE(QLocale::system().decimalPoint(), QStringLiteral(","));
    QCOMPARE(qEnvironmentVariable("TZ"), QStringLiteral("Europe/Berlin"));
}

void TestValues::displayRules_data() {
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("shown");
    const auto row = [](const char* name, QVariant value, TDataType type, const char* shown) {
        QTest::newRow(name) << value << int(type) << QString::fromUtf8(shown);
    };
    row("round double", 100000.0, TDataType::Double, "100000");
    row("double beside it", 120000.0, TDataType::Double, "120000");
    row("largest plain double", 999999999999999.0, TDataType::Double, "999999999999999");
    row("1e15 in exponent form", 1e15, TDataType::Double, "1E+15");
    row("small plain", 0.0001, TDataType::Double, "0,0001");
    row("smaller in exponent form", -0.000015, TDataType::Double, "-1,5E-05");
    row("shortest digits", 0.1 + 0.2, TDataType::Double, "0,30000000000000004");
    row("float's shortest digits", double(0.1f), TDataType::Single, "0,1");
    row("negative zero", -0.0, TDataType::Double, "-0");
    row("not a number", std::nan(""), TDataType::Double, "NaN");
    row("minus infinity", -HUGE_VAL, TDataType::Single, "-∞");
    row("numeric infinity text", "Infinity", TDataType::Numeric, "∞");
    row("currency text stays", "$1,234.56", TDataType::Currency, "$1,234.56");
    row("microseconds never rounded", "1999-12-31 23:59:59.999999", TDataType::DBTimeStamp,
        "31.12.1999 23:59:59,999999");
    row("a time in the spring-forward gap", "2026-03-29 02:30:00", TDataType::DBTimeStamp,
        "29.03.2026 02:30:00");
    row("binary wall clock in the gap", QDateTime(QDate(2026, 3, 29), QTime(2, 0, 0, 500), Qt::UTC),
        TDataType::DBTimeStamp, "29.03.2026 02:00:00,5");
    row("offset kept", "2024-06-01 00:00:00+02", TDataType::DBTimeStamp, "01.06.2024 00:00:00 +02");
    row("SQLite's T and Z", "2024-06-01T12:30Z", TDataType::DBTimeStamp, "01.06.2024 12:30:00 Z");
    row("date of a timestamp column with a time", "2024-06-01 12:00", TDataType::DBDate,
        "01.06.2024 12:00:00");
    row("no day of the calendar", "2024-02-30", TDataType::DBDate, "2024-02-30");
    row("time beyond a day", "838:59:59", TDataType::DBTime, "838:59:59");
    row("negative time", "-01:30:00", TDataType::DBTime, "-01:30:00");
    row("binary time", QTime(23, 59, 59, 999), TDataType::DBTime, "23:59:59,999");
}

void TestValues::displayRules() {
    QFETCH(QVariant, value);
    QFETCH(int, type);
    QFETCH(QString, shown);
    const QByteArray row = TRecordset::EncodeValues({value});
    QCOMPARE(TRecordset::CellText(TRowStore::CellOfRow(row.constData(), 0), TDataType(type)), shown);
}

// Editing a cell without changing it, or typing what another cell shows, keeps the value.
void TestValues::typedTextReadsBackAsShown_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("shown");
    const auto row = [](const char* name, const char* typed, TDataType type, const char* shown) {
        QTest::newRow(name) << QString::fromUtf8(typed) << int(type) << QString::fromUtf8(shown);
    };
    row("shortest digits", "0,30000000000000004", TDataType::Double, "0,30000000000000004");
    row("exponent form", "1E+15", TDataType::Double, "1E+15");
    row("infinity", "∞", TDataType::Double, "∞");
    row("numeric NaN", "NaN", TDataType::Numeric, "NaN");
    row("microseconds", "31.12.1999 23:59:59,999999", TDataType::DBTimeStamp, "31.12.1999 23:59:59,999999");
    row("offset", "01.06.2024 12:00:00,25 +02", TDataType::DBTimeStamp, "01.06.2024 12:00:00,25 +02");
    row("gap hour", "29.03.2026 02:30:00", TDataType::DBTimeStamp, "29.03.2026 02:30:00");
    row("ISO form", "2026-03-29 02:00:00.5", TDataType::DBTimeStamp, "29.03.2026 02:00:00,5");
    row("short hour", "9:05", TDataType::DBTime, "09:05:00");
    row("time with offset", "12:00:00,5 +05:30", TDataType::DBTime, "12:00:00,5 +05:30");
    row("database's own time text", "-01:30:00", TDataType::DBTime, "-01:30:00");
    row("zero date", "0000-00-00", TDataType::DBDate, "0000-00-00");
    row("date BC", "0044-03-15 BC", TDataType::DBDate, "0044-03-15 BC");
}

void TestValues::typedTextReadsBackAsShown() {
    QFETCH(QString, typed);
    QFETCH(int, type);
    QFETCH(QString, shown);
    const QVariant value = TRecordset::ParseText(typed, TDataType(type), QStringLiteral("f"));
    const QByteArray row = TRecordset::EncodeValues({value});
    QCOMPARE(TRecordset::CellText(TRowStore::CellOfRow(row.constData(), 0), TDataType(type)), shown);
    QVERIFY_THROWS_EXCEPTION(
        TDataError, TRecordset::ParseText(QStringLiteral("bald"), TDataType(type), QStringLiteral("f")));
}

// Leaves digits on the stack where the locals of the next call will lie: what a painting
// grid happens to leave there.
Q_NEVER_INLINE void LeaveDigitsOnTheStack() {
    volatile char bytes[16384];
    for (volatile char& byte : bytes)
        byte = '9';
}

// Numbers shown one after another, as a grid paints a column: with digits left on the stack
// by whatever ran before, 10 once showed as "1E+199" and 4999990 as "###".
void TestValues::numbersInARowReadBackAsThemselves() {
    QList<double> values;
    for (int x = 6234900; x < 6235000; ++x)
        values << x * 0.25;
    values << 1558729.5 << 10.0 << 4999989.75 << 4999990.0 << 123456.789 << 1.0 << 0.015625 << 2.5e-5 << 7e20;
    for (const double value : values) {
        const QByteArray row = TRecordset::EncodeValues({value});
        LeaveDigitsOnTheStack();
        const QString shown = TRecordset::CellText(TRowStore::CellOfRow(row.constData(), 0), TDataType::Double);
        QCOMPARE(TRecordset::ParseText(shown, TDataType::Double, QStringLiteral("f")).toDouble(), value);
    }
}

void TestValues::valuesAsTheClientPrintsThem_data() {
    QTest::addColumn<QString>("setupName");
    QTest::addColumn<int>("index");
    for (const TSetup& s : kSetups)
        for (int i = 0; i < int(std::size(kCases)); ++i) {
            const TCase& c = kCases[i];
            if (ForDb(c, s.Db).Type)
                QTest::addRow("%s: %s", s.Name, c.Name) << QString::fromLatin1(s.Name) << i;
        }
}

void TestValues::valuesAsTheClientPrintsThem() {
    USE_SETUP(setup);
    QFETCH(int, index);
    const TCase& c = kCases[index];
    const TDbCase v = ForDb(c, setup.Db);
    TSetupDatabase db(setup);
    TConnection& conn = db.Connection();
    conn.Execute(QStringLiteral("CREATE TABLE vt (v %1)").arg(QLatin1String(v.Type)));
    // Through the program: the statement's text (non-ASCII included) goes through the setup.
    conn.Execute(QStringLiteral("INSERT INTO vt VALUES (%1)").arg(v.Value));
    const QString sql = QStringLiteral("SELECT v FROM vt");
    const bool quoted = c.Kind == TKind::Real || c.Kind == TKind::Bytes;
    const QByteArray client = db.Client(sql, quoted);
    // A text written through the program reads back unchanged with the client, and the program
    // shows what the client shows.
    QStringList shown = {FirstValue(conn, sql)};
    QStringList expected = {Displayed(c.Kind, client, setup.Db)};
    if (c.Written) {
        shown << QString::fromUtf8(client);
        expected << QString::fromUtf8(c.Written);
    }
    if (const TDeviation* d = DeviationOf(setup, c)) {
        qInfo("%s", d->Why);
        expected.first() = QString::fromUtf8(d->Shown);
    }
    QCOMPARE(shown, expected);
}

void TestValues::catalogTablesAsTheClientPrintsThem_data() {
    QTest::addColumn<QString>("setupName");
    QTest::addColumn<QString>("sql");
    for (const char* setup : {"libpq", "psqlodbc"})
        for (const char* sql :
             {"SELECT * FROM pg_catalog.pg_type ORDER BY oid",
              "SELECT * FROM pg_catalog.pg_class ORDER BY oid",
              "SELECT * FROM pg_catalog.pg_attribute WHERE attrelid < 3000 ORDER BY attrelid, attnum",
              "SELECT * FROM pg_catalog.pg_proc ORDER BY oid"})
            QTest::addRow("%s: %s", setup, sql) << QString::fromLatin1(setup) << QString::fromLatin1(sql);
}

// Whole tables the developers did not write, every cell against psql.
void TestValues::catalogTablesAsTheClientPrintsThem() {
    USE_SETUP(setup);
    QFETCH(QString, sql);
    TSetupDatabase db(setup);
    const QList<QByteArray> lines = db.Client(sql, false,
                                              {QStringLiteral("-F"), QStringLiteral("\x1f"),
                                               QStringLiteral("-R"), QStringLiteral("\x1e")})
                                        .split('\x1e');
    TQuery q;
    q.SetConnection(&db.Connection());
    q.SetSql(sql);
    q.Open();
    QCOMPARE(q.RecordCount(), lines.size());
    int row = 0;
    for (q.First(); !q.Eof(); q.Next(), ++row) {
        const QList<QByteArray> cells = lines[row].split('\x1f');
        QCOMPARE(cells.size(), q.Fields().Count());
        for (int i = 0; i < cells.size(); ++i) {
            const TField& f = q.Fields()[i];
            const QString where = QStringLiteral("row %1, %2: ").arg(row).arg(f.Name());
            QCOMPARE(where + f.AsText(), where + Displayed(KindOf(f.Type()), cells[i], TDb::Postgres));
        }
    }
}

void TestValues::gridEditsArriveUnchanged_data() {
    QTest::addColumn<QString>("setupName");
    for (const TSetup& s : kSetups)
        QTest::newRow(s.Name) << QString::fromLatin1(s.Name);
}

// What the user types into a cell reaches the database byte for byte (read back with its
// own client), the date-time the wall-clock time typed, also in the spring-forward hour, and
// a time with its fraction.
void TestValues::gridEditsArriveUnchanged() {
    USE_SETUP(setup);
    TSetupDatabase db(setup);
    TConnection& conn = db.Connection();
    const char* timestamp = setup.Db == TDb::Postgres ? "timestamp" : "DATETIME";
    const char* time = setup.Db == TDb::MariaDb ? "TIME(3)" : "TIME";
    conn.Execute(QStringLiteral("CREATE TABLE ed (id INTEGER PRIMARY KEY, t VARCHAR(200), ts %1, tm %2)")
                     .arg(QLatin1String(timestamp), QLatin1String(time)));
    conn.Execute(QStringLiteral("INSERT INTO ed VALUES (1, 'x', NULL, NULL)"));
    const QStringList texts = {QStringLiteral("xÚyÚz"), QStringLiteral("Últim"),
                               QString::fromUtf8(kLatin1Letters),
                               QStringLiteral("e\u0301 👍🏽 שלום\tTab\r\nZeile")};
    const auto edit = [&conn](const QList<std::pair<const char*, QString>>& typed) {
        TQuery q;
        q.SetConnection(&conn);
        q.SetLockType(TLockType::Optimistic);
        q.SetSql(QStringLiteral("SELECT id, t, ts, tm FROM ed"));
        q.Open();
        q.Edit();
        for (const auto& [field, text] : typed)
            q.FieldByName(QLatin1String(field)).SetValue(text);
        q.Post();
    };
    for (const QString& text : texts) {
        edit({{"t", text}});
        QCOMPARE(QString::fromUtf8(db.Client(QStringLiteral("SELECT t FROM ed"), false)), text);
    }
    edit({{"ts", QStringLiteral("29.03.2026 02:30:00")}, {"tm", QStringLiteral("02:00:00,5")}});
    QCOMPARE(GermanCalendar(QString::fromUtf8(db.Client(QStringLiteral("SELECT ts FROM ed"), false))),
             QStringLiteral("29.03.2026 02:30:00"));
    QCOMPARE(GermanCalendar(QString::fromUtf8(db.Client(QStringLiteral("SELECT tm FROM ed"), false))),
             QStringLiteral("02:00:00,5"));
}

QTEST_GUILESS_MAIN(TestValues)
#include "tst_values.moc"
