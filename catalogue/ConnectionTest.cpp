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
void RunInWorker(const std::function<void()>& work) {
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

void TestConnectionString(const QString& connectionString) {
    RunInWorker([&] {
        TConnection connection;
        connection.Open(connectionString);
        connection.Close();
    });
}

const QStringList& PostgresDatabaseKeys() {
    static const QStringList keys{QStringLiteral("Initial Catalog"), QStringLiteral("Database"),
                                  QStringLiteral("dbname")};
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
