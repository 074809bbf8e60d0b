// The names of the open database for the editor's names list: tables and schemas from the
// tables list, columns read on a thread of their own when the editor first needs them.
#include "workspace/WorkNames.h"

#include "data/Connection.h"
#include "data/Recordset.h"
#include "editor/SqlEdit.h"
#include "workspace/Work.h"

#include <QListWidget>
#include <QSet>
#include <QThread>
#include <memory>

namespace {

// Lives on the reader's thread with the connection it opened there.
class TNameWorker : public QObject {
public:
    std::unique_ptr<TConnection> Connection;
};

} // namespace

TNameReader::TNameReader(const QString& connectionString, int connectTimeout, int commandTimeout,
                         QObject* parent)
    : QObject(parent) {
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("NameReader"));
    auto* worker = new TNameWorker;
    worker->moveToThread(m_thread);
    m_worker = worker;
    m_thread->start();
    // The connection is made by the first request, on the thread that uses it.
    QMetaObject::invokeMethod(
        worker,
        [worker, connectionString, connectTimeout, commandTimeout] {
            try {
                auto connection = std::make_unique<TConnection>();
                connection->SetConnectionTimeout(connectTimeout);
                connection->SetCommandTimeout(commandTimeout);
                connection->Adopt(connectionString,
                                  TConnection::Connect(connectionString, connectTimeout, commandTimeout));
                worker->Connection = std::move(connection);
            } catch (const std::exception&) {
                // No columns then: every request is answered empty.
            }
        },
        Qt::QueuedConnection);
}

TNameReader::~TNameReader() {
    // After the reads already asked for: the connection goes on the thread that made it.
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker] { delete worker; }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
}

void TNameReader::ReadColumns(const QString& schema, const QString& table) {
    auto* worker = static_cast<TNameWorker*>(m_worker);
    QMetaObject::invokeMethod(
        worker,
        [this, worker, schema, table] {
            QStringList columns;
            if (worker->Connection) {
                try {
                    const std::unique_ptr<TRecordset> rows = worker->Connection->OpenSchema(
                        TSchemaKind::Columns,
                        {QVariant(), schema.isEmpty() ? QVariant() : QVariant(schema), table});
                    const int name = rows->FieldByName(QStringLiteral("COLUMN_NAME")).Index();
                    for (qint64 row = 0; row < rows->RecordCount(); ++row)
                        columns.append(rows->Text(row, name));
                } catch (const std::exception&) {
                    // A table whose columns cannot be read offers none.
                }
            }
            emit ColumnsRead(schema, table, columns);
        },
        Qt::QueuedConnection);
}

void TFrameWork::UpdateEditorNames(bool readable) {
    TSqlNames names;
    if (readable) {
        QSet<QString> schemas;
        names.Tables.reserve(LbxTables->count());
        for (int i = 0; i < LbxTables->count(); ++i) {
            const QListWidgetItem* item = LbxTables->item(i);
            const QString schema = item->data(Qt::UserRole).toString(); // the list's schema role
            QString sql;
            try {
                sql = TableSqlName(item);
            } catch (const std::exception&) {
                continue; // a name this driver cannot write is not offered
            }
            names.Tables.append({schema, item->text(), sql});
            if (!schema.isEmpty() && !schemas.contains(schema)) {
                schemas.insert(schema);
                names.Schemas.append(schema);
            }
        }
        names.Quote = [connection = QPointer<TConnection>(ConnWork)](const QString& name) {
            try {
                return connection ? connection->SqlName(name) : name;
            } catch (const std::exception&) {
                return name;
            }
        };
    }
    MemSql->SetNames(names);
    if (m_nameReader || !readable)
        return;
    m_nameReader = new TNameReader(ConnWork->ConnectionString(), ConnWork->ConnectionTimeout(),
                                   ConnWork->CommandTimeout(), this);
    connect(MemSql, &TSqlEdit::ColumnsWanted, m_nameReader, &TNameReader::ReadColumns);
    connect(m_nameReader, &TNameReader::ColumnsRead, MemSql, &TSqlEdit::SetColumns);
}
