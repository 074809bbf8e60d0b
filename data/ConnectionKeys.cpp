#include "data/ConnectionKeys.h"

#include "data/ConnectionString.h"

#ifdef TABULO_HAVE_POSTGRES
QList<TConnectionKey> PostgresConnectionKeys();
#endif
#ifdef TABULO_HAVE_ODBC
QList<TConnectionKey> OdbcConnectionKeys(const TConnectionString& connection);
#endif

bool ProviderNameIs(const QString& provider, const char* name) {
    const QString p = provider.trimmed();
    const QString n = QString::fromLatin1(name);
    return p.compare(n, Qt::CaseInsensitive) == 0 || p.startsWith(n + u'.', Qt::CaseInsensitive);
}

QList<TConnectionKey> ProviderConnectionKeys(const QString& connectionString) {
    const TConnectionString cs(connectionString);
    const QString provider = cs.Value(QStringLiteral("Provider"));
    auto is = [&provider](const char* name) {
        return ProviderNameIs(provider, name);
    };
    if (is("SQLite"))
        return {{QStringLiteral("Provider"), QStringLiteral("SQLite"), {}, false},
                {QStringLiteral("Data Source"), QStringLiteral("Datenbankdatei oder :memory:"), {}, false},
                {QStringLiteral("Mode"), QStringLiteral("Read, ReadWrite oder Create"),
                 QStringLiteral("ReadWrite"), false}};
#ifdef TABULO_HAVE_POSTGRES
    if (is("PostgreSQL"))
        return PostgresConnectionKeys();
#endif
#ifdef TABULO_HAVE_ODBC
    if (is("ODBC") || is("MSDASQL"))
        return OdbcConnectionKeys(cs);
#endif
    return {};
}

bool IsSecretKey(const QString& key) {
    const QString k = key.trimmed().toLower();
    return k == QLatin1String("pwd") || k.endsWith(QLatin1String("password")) ||
           k.endsWith(QLatin1String("passwd"));
}
