#include "catalogue/ConnectionTest.h"

#include "data/Connection.h"
#include "data/ConnectionString.h"
#include "data/Recordset.h"
#include "settings/Error.h"

#include <QApplication>
#include <QEventLoop>
#include <QStringList>

#include <exception>
#include <thread>

namespace {

// Runs work in a worker thread while the GUI thread waits in a local event loop that
// ignores user input, so the window repaints but no second command starts meanwhile.
void RunInWorker(const std::function<void()>& work)
{
    std::exception_ptr failure;
    QEventLoop loop;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    QApplication::restoreOverrideCursor();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace

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
