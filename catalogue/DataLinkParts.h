#pragma once

#include "data/ConnectionKeys.h"

#include <QComboBox>
#include <QStringList>

#include <functional>

// Pieces the data link dialog's source files share.

// The page of a provider name: 0 SQLite, 1 PostgreSQL, 2 ODBC (also by its older name
// MSDASQL), 3 any other; a version suffix ("MSDASQL.1") names the same provider.
int DataLinkProviderPage(const QString& provider);

// The names under which a field's key may stand in a string, the one a new key gets first.
namespace DataLinkKeys {
inline const QStringList SqliteFile{QStringLiteral("Data Source")};
inline const QStringList PgHost = PostgresKeyNames("host");
inline const QStringList PgPort = PostgresKeyNames("port");
inline const QStringList PgService = PostgresKeyNames("service");
inline const QStringList PgUser = PostgresKeyNames("user");
inline const QStringList PgPassword = PostgresKeyNames("password");
inline const QStringList OdbcDsn{QStringLiteral("DSN")};
inline const QStringList OdbcDriver{QStringLiteral("Driver")};
inline const QStringList OdbcUser{QStringLiteral("User ID"), QStringLiteral("UID")};
inline const QStringList OdbcPassword{QStringLiteral("Password"), QStringLiteral("PWD")};
} // namespace DataLinkKeys

// A drop-down list that fills itself just before it opens.
class TLazyComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> BeforePopup;

protected:
    void showPopup() override {
        if (BeforePopup)
            BeforePopup();
        QComboBox::showPopup();
    }
};
