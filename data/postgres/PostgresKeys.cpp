#include "data/ConnectionKeys.h"

#include <libpq-fe.h>

// libpq's connection parameters, under the program's names where it has its own.
QList<TConnectionKey> PostgresConnectionKeys() {
    static const struct {
        const char* Keyword;
        const char* Key;
    } own[] = {{"host", "Data Source"},
               {"dbname", "Initial Catalog"},
               {"user", "User ID"},
               {"password", "Password"}};
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
        for (const auto& alias : own)
            if (keyword == alias.Keyword)
                key.Key = QString::fromLatin1(alias.Key);
        keys.append(key);
    }
    PQconninfoFree(options);
    return keys;
}
