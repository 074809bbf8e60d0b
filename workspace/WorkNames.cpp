// The names of the open database for the editor's names list: tables and schemas from the
// tables list, columns read on a thread of their own when the editor first needs them.
#include "workspace/WorkNames.h"

#include "data/Connection.h"
#include "data/Recordset.h"
#include "editor/SqlEdit.h"
#include "workspace/Work.h"

#include <QListWidget>
#include <QPointer>
#include <QSet>
#include <condition_variable>
#include <deque>
#include <mutex>

// Requests and answers pass through this lock, which a thread checker sees (Qt's queued
// calls it does not).
struct TNameReader::TShared {
    struct TTable {
        QString Schema;
        QString Table;
        QStringList Columns;
    };
    std::mutex Mutex;
    std::condition_variable Wake;
    std::deque<TTable> Requests;
    std::deque<TTable> Answers;
    bool Stop = false;
};

TNameReader::TNameReader(const QString& connectionString, int connectTimeout, int commandTimeout,
                         QObject* parent)
    : QObject(parent)
    , m_shared(std::make_shared<TShared>()) {
    m_thread = std::thread([this, shared = m_shared, connectionString, connectTimeout, commandTimeout] {
        // The connection is made by the first request and goes with the thread that used it.
        std::unique_ptr<TConnection> connection;
        bool connected = false;
        for (;;) {
            TShared::TTable table;
            {
                std::unique_lock lock(shared->Mutex);
                shared->Wake.wait(lock, [&] { return shared->Stop || !shared->Requests.empty(); });
                if (shared->Stop)
                    break;
                table = std::move(shared->Requests.front());
                shared->Requests.pop_front();
            }
            if (!connected) {
                connected = true;
                try {
                    connection = std::make_unique<TConnection>();
                    connection->SetConnectionTimeout(connectTimeout);
                    connection->SetCommandTimeout(commandTimeout);
                    connection->Adopt(connectionString,
                                      TConnection::Connect(connectionString, connectTimeout, commandTimeout));
                } catch (const std::exception&) {
                    connection.reset(); // no columns then: every request is answered empty
                }
            }
            if (connection) {
                try {
                    const std::unique_ptr<TRecordset> rows = connection->OpenSchema(
                        TSchemaKind::Columns,
                        {QVariant(), table.Schema.isEmpty() ? QVariant() : QVariant(table.Schema), table.Table});
                    const int name = rows->FieldByName(QStringLiteral("COLUMN_NAME")).Index();
                    for (qint64 row = 0; row < rows->RecordCount(); ++row)
                        table.Columns.append(rows->Text(row, name));
                } catch (const std::exception&) {
                    // A table whose columns cannot be read offers none.
                }
            }
            {
                std::lock_guard lock(shared->Mutex);
                shared->Answers.push_back(std::move(table));
            }
            // The destructor joins this thread before the object goes, so the call finds it.
            QMetaObject::invokeMethod(this, "DeliverColumns", Qt::QueuedConnection);
        }
    });
}

TNameReader::~TNameReader() {
    {
        std::lock_guard lock(m_shared->Mutex);
        m_shared->Stop = true;
    }
    m_shared->Wake.notify_one();
    // A read under way ends first: its connection belongs to the thread.
    m_thread.join();
}

void TNameReader::ReadColumns(const QString& schema, const QString& table) {
    {
        std::lock_guard lock(m_shared->Mutex);
        m_shared->Requests.push_back({schema, table, {}});
    }
    m_shared->Wake.notify_one();
}

void TNameReader::DeliverColumns() {
    std::deque<TShared::TTable> answers;
    {
        std::lock_guard lock(m_shared->Mutex);
        answers.swap(m_shared->Answers);
    }
    const QPointer<TNameReader> self(this);
    for (const TShared::TTable& answer : answers) {
        if (!self)
            return;
        emit ColumnsRead(answer.Schema, answer.Table, answer.Columns);
    }
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
