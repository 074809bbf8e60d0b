#pragma once

#include "data/DataTypes.h"

#include <QList>
#include <QString>

// The kinds of file a result can be written to, with their names in the save dialog.
enum class TExportFormat { Csv, SpreadsheetCsv, Json, Sql };

// How the SQL file writes what differs between databases.
struct TSqlDialect {
    enum class TBinary { XQuote, PostgresHex, ZeroX };
    TBinary Binary = TBinary::XQuote;
    // MySQL and MariaDB read a backslash in a string literal as an escape.
    bool BackslashEscapes = false;
    // The sqlite3 shell drops a CR at the end of a line, also inside a literal: SQLite gets
    // it spliced in as char(13).
    bool SpliceCarriageReturn = false;
    // SQLite has no literal for infinity or NaN; 9e999 reads as infinity there.
    bool QuotedSpecialFloats = true;
};

// What a writer needs besides the rows: the format, and for the SQL file the table name and
// field names already written as SQL names of the workspace's connection.
struct TExportOptions {
    TExportFormat Format = TExportFormat::Csv;
    QString SqlTable;
    QStringList SqlFieldNames;
    TSqlDialect Dialect;
};

namespace TExportFormats {
// The save dialog's filters in the order offered, and the format of one of them.
QStringList Filters();
QString Filter(TExportFormat format);
// The format of a filter text; Csv for a text that names none.
TExportFormat FromFilter(const QString& filter);
// "csv", "json", "sql".
QString Suffix(TExportFormat format);
// The SQL file's conventions for a connection: its provider name and connection string.
TSqlDialect DialectFor(const QString& providerName, const QString& connectionString);
} // namespace TExportFormats
