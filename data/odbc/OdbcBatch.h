#pragma once

#include <QStringList>

// Cuts a command text into its statements at the semicolons that end them, for drivers that
// take one statement per call. Semicolons in quotes, comments, dollar-quoted bodies and in
// the BEGIN ... END body of a trigger do not end a statement. Empty statements are dropped.
QStringList OdbcSplitStatements(const QString& sql);
