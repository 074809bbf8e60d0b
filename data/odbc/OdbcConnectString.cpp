#include "data/odbc/OdbcConnectString.h"

#include "data/odbc/OdbcApi.h"

namespace {

QString Unbraced(QString value) {
    value = value.trimmed();
    if (value.startsWith(u'{') && value.endsWith(u'}'))
        value = value.mid(1, value.size() - 2).replace(QLatin1String("}}"), QLatin1String("}"));
    return value;
}

// A value in braces where the driver manager would otherwise cut or misread it: at a ";",
// an opening brace or surrounding blanks. Braces only where needed, since some drivers (the
// SQLite3 driver) do not understand them.
QString AttributeValue(const QString& value) {
    if (!value.contains(u';') && !value.startsWith(u'{') && value == value.trimmed())
        return value;
    QString escaped = value;
    escaped.replace(QLatin1String("}"), QLatin1String("}}"));
    return u'{' + escaped + u'}';
}

// The driver's name or library for "Driver=..." or, for a DSN, from odbc.ini.
QString DriverOf(const TConnectionString& c) {
    if (c.Contains(QStringLiteral("Driver")))
        return Unbraced(c.Value(QStringLiteral("Driver")));
    const QString dsn = Unbraced(c.Value(QStringLiteral("DSN")));
    if (dsn.isEmpty())
        return {};
    // The driver manager describes each data source by its driver.
    SQLWCHAR name[SQL_MAX_DSN_LENGTH + 1];
    SQLWCHAR description[512];
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT descriptionLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDataSourcesW(OdbcEnvironment(), direction, name, SQLSMALLINT(std::size(name)),
                                         &nameLength, description, SQLSMALLINT(std::size(description)),
                                         &descriptionLength))) {
        direction = SQL_FETCH_NEXT;
        if (OdbcString(name, std::min<qsizetype>(nameLength, std::size(name) - 1))
                .compare(dsn, Qt::CaseInsensitive) == 0)
            return OdbcString(description,
                              std::min<qsizetype>(descriptionLength, std::size(description) - 1));
    }
    return {};
}

} // namespace

QString OdbcDriverConnectString(const TConnectionString& connection) {
    // The program's keys in ODBC's words; everything else goes to the driver as it is.
    TConnectionString c;
    for (const TConnectionString::TEntry& e : connection.Entries()) {
        const QString key = e.Key.trimmed();
        if (key.compare(QLatin1String("Provider"), Qt::CaseInsensitive) == 0)
            continue;
        if (key.compare(QLatin1String("Extended Properties"), Qt::CaseInsensitive) == 0) {
            const TConnectionString inner(e.Value);
            for (const TConnectionString::TEntry& i : inner.Entries())
                c.SetValue(i.Key.trimmed(), i.Value);
        } else if (key.compare(QLatin1String("User ID"), Qt::CaseInsensitive) == 0) {
            c.SetValue(QStringLiteral("UID"), e.Value);
        } else if (key.compare(QLatin1String("Password"), Qt::CaseInsensitive) == 0) {
            c.SetValue(QStringLiteral("PWD"), e.Value);
        } else {
            c.SetValue(key, e.Value);
        }
    }
    if (c.Contains(QStringLiteral("Data Source"))) {
        const QString source = c.Value(QStringLiteral("Data Source"));
        c.Remove(QStringLiteral("Data Source"));
        if (!c.Contains(QStringLiteral("DSN")) && !c.Contains(QStringLiteral("Driver")))
            c.SetValue(QStringLiteral("DSN"), source);
    }
    if (c.Contains(QStringLiteral("Initial Catalog"))) {
        const QString catalog = c.Value(QStringLiteral("Initial Catalog"));
        c.Remove(QStringLiteral("Initial Catalog"));
        if (!c.Contains(QStringLiteral("Database")))
            c.SetValue(QStringLiteral("Database"), catalog);
    }

    // These drivers read the whole result inside SQLExecDirect unless told to stream; a
    // setting of the user's own is left alone, here and below.
    const QString driver = DriverOf(c);
    if (driver.contains(QLatin1String("postgres"), Qt::CaseInsensitive) ||
        driver.contains(QLatin1String("psqlodbc"), Qt::CaseInsensitive)) {
        if (!c.Contains(QStringLiteral("UseDeclareFetch"))) {
            c.SetValue(QStringLiteral("UseDeclareFetch"), QStringLiteral("1"));
            if (!c.Contains(QStringLiteral("Fetch")))
                c.SetValue(QStringLiteral("Fetch"), QStringLiteral("2000"));
        }
        // Booleans as booleans rather than as the texts "1" and "0".
        if (!c.Contains(QStringLiteral("BoolsAsChar")))
            c.SetValue(QStringLiteral("BoolsAsChar"), QStringLiteral("0"));
    } else if (driver.contains(QLatin1String("sqlite"), Qt::CaseInsensitive)) {
        if (!c.Contains(QStringLiteral("StepAPI")))
            c.SetValue(QStringLiteral("StepAPI"), QStringLiteral("1"));
    }

    QStringList parts;
    for (const TConnectionString::TEntry& e : c.Entries()) {
        const bool isDriver = e.Key.compare(QLatin1String("Driver"), Qt::CaseInsensitive) == 0;
        const QString value = isDriver ? Unbraced(e.Value) : e.Value;
        // Driver names with blanks are customarily braced.
        parts << e.Key + u'=' +
                     (isDriver && value.contains(u' ') ? u'{' + value + u'}' : AttributeValue(value));
    }
    return parts.join(u';');
}
