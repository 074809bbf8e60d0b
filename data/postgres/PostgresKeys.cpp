#include "data/ConnectionKeys.h"

#include <libpq-fe.h>

namespace {

struct TKeyNames {
    const char* Keyword;
    QStringList Names; // the program's and the other accepted spellings, without the keyword
};

const QList<TKeyNames>& KeyNames() {
    static const QList<TKeyNames> names = {
        {"host", {QStringLiteral("Data Source"), QStringLiteral("Server")}},
        {"dbname", {QStringLiteral("Initial Catalog"), QStringLiteral("Database")}},
        {"user", {QStringLiteral("User ID"), QStringLiteral("UID")}},
        {"password", {QStringLiteral("Password"), QStringLiteral("PWD")}},
        {"connect_timeout", {QStringLiteral("Connect Timeout")}},
        {"application_name", {QStringLiteral("Application Name")}},
    };
    return names;
}

} // namespace

QStringList PostgresKeyNames(const char* keyword) {
    for (const TKeyNames& entry : KeyNames())
        if (qstrcmp(entry.Keyword, keyword) == 0)
            return entry.Names + QStringList{QString::fromLatin1(keyword)};
    return {QString::fromLatin1(keyword)};
}

// libpq's connection parameters, under the program's names where it has its own.
QList<TConnectionKey> PostgresConnectionKeys() {
    QList<TConnectionKey> keys{{QStringLiteral("Provider"), QStringLiteral("PostgreSQL"), {}, false}};
    PQconninfoOption* options = PQconndefaults();
    for (PQconninfoOption* o = options; o && o->keyword; ++o) {
        const QByteArray keyword(o->keyword);
        // Debug options, and what the provider sets itself, are not offered.
        if ((o->dispchar && *o->dispchar == 'D') || keyword == "client_encoding" ||
            keyword == "fallback_application_name")
            continue;
        TConnectionKey key{QString::fromUtf8(keyword), QString::fromUtf8(o->label ? o->label : ""),
                           QString::fromUtf8(o->val ? o->val : ""), o->dispchar && *o->dispchar == '*'};
        // Only the four the program has always written under its own names.
        if (keyword == "host" || keyword == "dbname" || keyword == "user" || keyword == "password")
            key.Key = PostgresKeyNames(o->keyword).first();
        keys.append(key);
    }
    PQconninfoFree(options);
    return keys;
}
