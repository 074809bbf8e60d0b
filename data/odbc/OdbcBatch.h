#pragma once

#include <QStringList>

// Cuts a command text into its statements at the semicolons that end them, for drivers that
// take one statement per call. Semicolons in quotes, comments, dollar-quoted bodies and in
// the BEGIN ... END body of a trigger do not end a statement. Empty statements and
// statements of nothing but comments are dropped.
QStringList OdbcSplitStatements(const QString& sql);

// True when the statement starts with a word of a data change (INSERT, UPDATE, ...), whose
// count of rows the driver reports; other statements report none.
bool OdbcChangesRows(const QString& statement);

// How often a statement names a table other than as the qualifier of a column ("t.col"):
// more than once means a self-join or a subquery on the same table.
int OdbcTableReferences(const QString& sql, const QString& table);
