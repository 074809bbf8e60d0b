#pragma once

#include <QStringList>

// Opens and closes a connection to the database the string names; throws the provider's
// error when that fails. The attempt runs in a worker thread and the window keeps
// repainting meanwhile; it ends at the latest with the connect time-out.
void TestConnectionString(const QString& connectionString);

// The databases of the PostgreSQL server the string names, read from its "postgres" database.
QStringList PostgresDatabaseNames(const QString& connectionString);
