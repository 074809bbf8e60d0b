#include "data/DataError.h"
#include "data/Provider.h"

std::unique_ptr<TProviderSession> CreateOdbcSession(const TConnectionString&, const TConnectOptions&)
{
    throw TDataError(QStringLiteral("Der ODBC-Provider ist noch nicht verfügbar"));
}
