#include "export/ExportFormat.h"

#include "data/ConnectionString.h"

namespace {

struct TFormatName {
    TExportFormat Format;
    const char* Filter;
    const char* Suffix;
};

const TFormatName Names[] = {
    {TExportFormat::Csv, "CSV (*.csv)", "csv"},
    {TExportFormat::SpreadsheetCsv, "CSV für Tabellenkalkulation (*.csv)", "csv"},
    {TExportFormat::Json, "JSON (*.json)", "json"},
    {TExportFormat::Sql, "SQL (*.sql)", "sql"},
};

} // namespace

namespace TExportFormats {

QStringList Filters() {
    QStringList filters;
    for (const TFormatName& n : Names)
        filters.append(QString::fromUtf8(n.Filter));
    return filters;
}

QString Filter(TExportFormat format) {
    for (const TFormatName& n : Names)
        if (n.Format == format)
            return QString::fromUtf8(n.Filter);
    return {};
}

TExportFormat FromFilter(const QString& filter) {
    for (const TFormatName& n : Names)
        if (filter == QString::fromUtf8(n.Filter))
            return n.Format;
    return TExportFormat::Csv;
}

QString Suffix(TExportFormat format) {
    for (const TFormatName& n : Names)
        if (n.Format == format)
            return QLatin1String(n.Suffix);
    return {};
}

TSqlDialect DialectFor(const QString& providerName, const QString& connectionString) {
    TSqlDialect dialect;
    const QString provider = providerName.toLower();
    if (provider == QLatin1String("sqlite")) {
        dialect.QuotedSpecialFloats = false;
        dialect.SpliceCarriageReturn = true;
        return dialect;
    }
    if (provider == QLatin1String("postgresql")) {
        dialect.Binary = TSqlDialect::TBinary::PostgresHex;
        return dialect;
    }
    // Through ODBC the driver names the database the file is meant for.
    const QString driver = TConnectionString(connectionString).Value(QStringLiteral("Driver")).toLower();
    if (driver.contains(QLatin1String("postgres"))) {
        dialect.Binary = TSqlDialect::TBinary::PostgresHex;
    } else if (driver.contains(QLatin1String("mariadb")) || driver.contains(QLatin1String("mysql"))) {
        dialect.BackslashEscapes = true;
    } else if (driver.contains(QLatin1String("sqlite"))) {
        dialect.QuotedSpecialFloats = false;
        dialect.SpliceCarriageReturn = true;
    } else if (driver.contains(QLatin1String("sql server")) || driver.contains(QLatin1String("freetds"))) {
        dialect.Binary = TSqlDialect::TBinary::ZeroX;
    }
    return dialect;
}

} // namespace TExportFormats
