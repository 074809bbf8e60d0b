#include "data/OdbcInfo.h"

#include "data/ConnectionKeys.h"
#include "data/ConnectionString.h"

#include <QFileInfo>

#include <sql.h>
#include <sqlext.h>
#ifdef TABULO_HAVE_ODBCINST
#include <odbcinstext.h>
#endif

namespace {

// An environment handle of its own: the lists are read from the GUI thread while sessions
// may be working elsewhere.
class TInfoEnvironment {
public:
    TInfoEnvironment() {
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_env))) {
            m_env = SQL_NULL_HENV;
            return;
        }
        SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    }
    ~TInfoEnvironment() {
        if (m_env != SQL_NULL_HENV)
            SQLFreeHandle(SQL_HANDLE_ENV, m_env);
    }
    TInfoEnvironment(const TInfoEnvironment&) = delete;
    TInfoEnvironment& operator=(const TInfoEnvironment&) = delete;

    SQLHENV Handle() const { return m_env; }

private:
    SQLHENV m_env = SQL_NULL_HENV;
};

QString FromWide(const SQLWCHAR* text, SQLSMALLINT length) {
    static_assert(sizeof(SQLWCHAR) == sizeof(char16_t));
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(text), length);
}

void AddOnce(QStringList& names, const QString& name) {
    if (!name.isEmpty() && !names.contains(name, Qt::CaseInsensitive))
        names.append(name);
}

// Entries of odbcinst.ini whose library is not installed cannot connect, so they are not
// offered; a library named without a folder is looked for where the loader would find it.
bool DriverLibraryPresent(const QString& attributes) {
    for (const QString& pair : attributes.split(QChar(u'\0'), Qt::SkipEmptyParts)) {
        if (!pair.startsWith(QLatin1String("Driver="), Qt::CaseInsensitive))
            continue;
        const QString library = pair.mid(7);
        if (library.contains(QLatin1Char('/')))
            return QFileInfo::exists(library);
        QStringList folders =
            qEnvironmentVariable("LD_LIBRARY_PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts);
        folders << QStringLiteral("/usr/lib/x86_64-linux-gnu/odbc")
                << QStringLiteral("/usr/lib/x86_64-linux-gnu")
                << QStringLiteral("/usr/lib/aarch64-linux-gnu/odbc")
                << QStringLiteral("/usr/lib/aarch64-linux-gnu") << QStringLiteral("/usr/lib/odbc")
                << QStringLiteral("/usr/lib") << QStringLiteral("/usr/local/lib") << QStringLiteral("/lib");
        for (const QString& folder : folders)
            if (QFileInfo::exists(folder + QLatin1Char('/') + library))
                return true;
        return false;
    }
    return true;
}

} // namespace

QStringList OdbcDriverNames() {
    QStringList names;
    TInfoEnvironment env;
    if (env.Handle() == SQL_NULL_HENV)
        return names;
    SQLWCHAR description[512];
    SQLWCHAR attributes[2048];
    SQLSMALLINT descriptionLength = 0;
    SQLSMALLINT attributesLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDriversW(env.Handle(), direction, description,
                                     SQLSMALLINT(std::size(description)), &descriptionLength, attributes,
                                     SQLSMALLINT(std::size(attributes)), &attributesLength))) {
        direction = SQL_FETCH_NEXT;
        const SQLSMALLINT shown = std::min<SQLSMALLINT>(descriptionLength, std::size(description) - 1);
        const SQLSMALLINT attributesShown =
            std::min<SQLSMALLINT>(attributesLength, std::size(attributes) - 1);
        if (DriverLibraryPresent(FromWide(attributes, attributesShown)))
            AddOnce(names, FromWide(description, shown));
    }
    return names;
}

QStringList OdbcDataSourceNames() {
    QStringList names;
    TInfoEnvironment env;
    if (env.Handle() == SQL_NULL_HENV)
        return names;
    SQLWCHAR name[SQL_MAX_DSN_LENGTH + 1];
    SQLWCHAR description[512];
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT descriptionLength = 0;
    // SQL_FETCH_FIRST walks the user data sources and then the system ones.
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDataSourcesW(env.Handle(), direction, name, SQLSMALLINT(std::size(name)),
                                         &nameLength, description, SQLSMALLINT(std::size(description)),
                                         &descriptionLength))) {
        direction = SQL_FETCH_NEXT;
        const SQLSMALLINT shown = std::min<SQLSMALLINT>(nameLength, std::size(name) - 1);
        AddOnce(names, FromWide(name, shown));
    }
    return names;
}

// The driver manager's words for its keys, then what the driver's setup library lists for a
// data source of that driver (unixODBC asks the library; most drivers have none).
QList<TConnectionKey> OdbcConnectionKeys(const TConnectionString& connection) {
    QList<TConnectionKey> keys{
        {QStringLiteral("Provider"), QStringLiteral("ODBC"), {}, false},
        {QStringLiteral("DSN"), QStringLiteral("Datenquelle aus odbc.ini"), {}, false},
        {QStringLiteral("Driver"), QStringLiteral("Treiber aus odbcinst.ini"), {}, false},
        {QStringLiteral("UID"), QStringLiteral("Benutzer"), {}, false},
        {QStringLiteral("PWD"), QStringLiteral("Kennwort"), {}, true},
    };
#ifdef TABULO_HAVE_ODBCINST
    QString driver = connection.Value(QStringLiteral("Driver")).trimmed();
    if (driver.startsWith(u'{') && driver.endsWith(u'}'))
        driver = driver.mid(1, driver.size() - 2);
    if (driver.isEmpty())
        return keys;
    QByteArray name = driver.toUtf8();
    HODBCINSTPROPERTY properties = nullptr;
    if (ODBCINSTConstructProperties(name.data(), &properties) != ODBCINST_SUCCESS)
        return keys;
    for (HODBCINSTPROPERTY p = properties; p; p = p->pNext) {
        const QString key = QString::fromUtf8(p->szName).trimmed();
        // The data source's own name and description belong to odbc.ini, not to a connection.
        if (key.isEmpty() || key.compare(QLatin1String("Name"), Qt::CaseInsensitive) == 0 ||
            key.compare(QLatin1String("Description"), Qt::CaseInsensitive) == 0 ||
            key.compare(QLatin1String("Driver"), Qt::CaseInsensitive) == 0)
            continue;
        keys.append({key, QString::fromUtf8(p->pszHelp ? p->pszHelp : "").simplified(),
                     QString::fromUtf8(p->szValue), IsSecretKey(key)});
    }
    ODBCINSTDestructProperties(&properties);
#else
    Q_UNUSED(connection);
#endif
    return keys;
}
