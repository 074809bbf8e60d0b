#include "catalogue/ConnectionTest.h"

#include "data/Connection.h"
#include "data/ConnectionString.h"
#include "data/Recordset.h"
#include "settings/Error.h"
#include "ui/WorkerWait.h"

#include <QStringList>

void TestConnectionString(const QString& connectionString)
{
    RunInWorker([&] {
        TConnection connection;
        connection.Open(connectionString);
        connection.Close();
    });
}

QStringList PostgresDatabaseNames(const QString& connectionString)
{
    TConnectionString cs(connectionString);
    cs.SetValue(QStringLiteral("Initial Catalog"), QStringLiteral("postgres"));
    QStringList names;
    RunInWorker([&] {
        TConnection connection;
        connection.Open(cs.ToString());
        std::unique_ptr<TRecordset> rows = connection.OpenSchema(TSchemaKind::Catalogs);
        for (rows->First(); !rows->Eof(); rows->Next())
            names.append(rows->FieldByName(QStringLiteral("CATALOG_NAME")).AsText());
        connection.Close();
    });
    names.sort(Qt::CaseInsensitive);
    return names;
}
