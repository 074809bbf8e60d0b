#pragma once

#include "data/Connection.h"

#include <QString>

#include <algorithm>
#include <vector>

// Pieces the workspace-level benchmarks share.

// A table t(id, name, amount, day) of the given number of rows in a new SQLite file.
inline void CreateTable(const QString& connectionString, int rows) {
    TConnection connection;
    connection.SetCommandTimeout(0); // tens of millions of rows take longer than a statement may
    connection.Open(connectionString + QStringLiteral(";Mode=Create"));
    connection.Execute(
        QStringLiteral("create table t(id integer, name text, amount real, day text);"
                       "with recursive n(x) as (select 1 union all select x + 1 from n where x < %1) "
                       "insert into t select x, printf('Name %015d', x), x * 0.25, date('2020-01-01', '+' || "
                       "(x % 3000) || ' days') from n;")
            .arg(rows));
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}
