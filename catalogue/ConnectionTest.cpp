#include "catalogue/ConnectionTest.h"

#include "data/Connection.h"
#include "data/ConnectionKeys.h"
#include "data/ConnectionString.h"
#include "data/Recordset.h"
#include "settings/Error.h"
#include "ui/WorkerWait.h"

#include <QStringList>

void TestConnectionString(const QString& connectionString) {
    RunInWorker([&] {
        TConnection connection;
        connection.Open(connectionString);
        connection.Close();
    });
}

const QStringList& PostgresDatabaseKeys() {
    static const QStringList keys = PostgresKeyNames("dbname");
    return keys;
}

QStringList PostgresDatabaseNames(const QString& connectionString) {
    const TConnectionString given(connectionString);
    bool named = given.Contains(QStringLiteral("service"));
    for (const QString& key : PostgresDatabaseKeys())
        named = named || !given.Value(key).isEmpty();
    QStringList through;
    if (named)
        through << QString(); // the string as it is
    through << QStringLiteral("postgres") << QStringLiteral("template1");

    std::exception_ptr firstFailure;
    for (const QString& database : through) {
        TConnectionString cs = given;
        if (!database.isEmpty()) {
            for (const QString& key : PostgresDatabaseKeys())
                cs.Remove(key);
            cs.SetValue(QStringLiteral("Initial Catalog"), database);
        }
        QStringList names;
        try {
            RunInWorker([&] {
                TConnection connection;
                connection.Open(cs.ToString());
                std::unique_ptr<TRecordset> rows = connection.OpenSchema(TSchemaKind::Catalogs);
                for (rows->First(); !rows->Eof(); rows->Next())
                    names.append(rows->FieldByName(QStringLiteral("CATALOG_NAME")).AsText());
                connection.Close();
            });
        } catch (const TError& e) {
            if (!firstFailure)
                firstFailure = std::current_exception();
            // Another database helps only where this one was the problem (missing, refused);
            // a wrong password or an unreachable server would only be tried again.
            if (!e.Message().contains(QLatin1String("database"), Qt::CaseInsensitive) &&
                !e.Message().contains(QLatin1String("Datenbank"), Qt::CaseInsensitive))
                break;
            continue;
        }
        names.sort(Qt::CaseInsensitive);
        return names;
    }
    std::rethrow_exception(firstFailure);
}
