#pragma once

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
inline const QStringList PgHost{QStringLiteral("Data Source"), QStringLiteral("Server"),
                                QStringLiteral("host")};
inline const QStringList PgPort{QStringLiteral("port")};
inline const QStringList PgService{QStringLiteral("service")};
inline const QStringList PgUser{QStringLiteral("User ID"), QStringLiteral("UID"), QStringLiteral("user")};
inline const QStringList PgPassword{QStringLiteral("Password"), QStringLiteral("PWD"),
                                    QStringLiteral("password")};
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
