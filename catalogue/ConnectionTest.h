#pragma once

#include <QStringList>

// Opens and closes a connection to the database the string names; throws the provider's
// error when that fails. The attempt runs in a worker thread and the window keeps
// repainting meanwhile; it ends at the latest with the connect time-out.
void TestConnectionString(const QString& connectionString);

// The names under which a PostgreSQL string may hold its database.
const QStringList& PostgresDatabaseKeys();

// The databases of the PostgreSQL server the string names. They are read through the
// database the string gives (itself or by its service), else through "postgres", else
// "template1"; when none of these opens, the first failure is thrown.
QStringList PostgresDatabaseNames(const QString& connectionString);
