#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// A key of a connection string that a provider understands, as the data link dialog offers
// it to the user.
struct TConnectionKey {
    QString Key;
    QString Label;   // what it means, in the driver's words; may be empty
    QString Default; // the value used when the key is left out; may be empty
    bool Secret = false;
};

// The keys the provider of a connection string understands: libpq's connection parameters
// for PostgreSQL (its defaults read from the environment as libpq does), the attributes the
// ODBC driver lists for ODBC. Never throws; an unknown provider gives an empty list.
QList<TConnectionKey> ProviderConnectionKeys(const QString& connectionString);

// The names a connection string may give a libpq parameter (`keyword`, "host"): the
// program's own first ("Data Source"), then the other spellings it accepts, then libpq's
// keyword itself. The one place that knows them: connecting, the key list and the data link
// dialog read them from here.
QStringList PostgresKeyNames(const char* keyword);

// Whether a Provider value names the provider `name`, without regard to case; a version
// suffix ("MSDASQL.1", "SQLite.1") names the same provider.
bool ProviderNameIs(const QString& provider, const char* name);

// Whether a key's value is a password by its name alone ("Password", "PWD", "sslpassword").
bool IsSecretKey(const QString& key);
