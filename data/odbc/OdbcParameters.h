#pragma once

#include "data/odbc/OdbcApi.h"

#include <QVariantList>
#include <vector>

// The values of a statement bound to its "?" markers with SQLBindParameter. The buffers
// live in this object: keep it until the statement has executed.
class TOdbcParameters {
public:
    // Text as the statement's text goes to the driver (see TOdbcText). `miscountingDriver`:
    // the driver reads a wide value with a character whose low byte is 0xD8 to 0xDB too far
    // (the MariaDB driver); such a value is refused rather than sent wide.
    TOdbcParameters(const QVariantList& values, TOdbcText text, bool miscountingDriver = false);
    void Bind(const TOdbcStatement& statement, const QString& sql) const;

private:
    struct TValue {
        SQLSMALLINT CType = SQL_C_WCHAR;
        SQLSMALLINT SqlType = SQL_WVARCHAR;
        SQLULEN ColumnSize = 1;
        SQLSMALLINT Digits = 0;
        QByteArray Buffer;
        mutable SQLLEN Indicator = 0;
    };
    std::vector<TValue> m_values;
};
