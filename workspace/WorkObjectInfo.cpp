// What a column is and which indexes a table has, read from the schema rowsets. A failure
// never leaves these operations: it becomes an error line at the end of the text.
#include "workspace/Work.h"

#include "data/CProviderTypes.h"
#include "data/Connection.h"
#include "data/Recordset.h"
#include "settings/Error.h"
#include "workspace/SchemaErrorText.h"

#include <QListWidget>

QString SchemaErrorText(const std::exception& error) {
    if (const auto* own = dynamic_cast<const TError*>(&error))
        return own->ClassName() + QLatin1Char(' ') + own->Message();
    return QStringLiteral("Exception ") + QString::fromLocal8Bit(error.what());
}

QString TFrameWork::ColumnInfo(const QString& table, const QString& column) {
    QString result;
    try {
        if (!m_providerTypes)
            throw TError(QStringLiteral("Die Typen des Providers sind nicht gelesen"));
        const std::unique_ptr<TRecordset> rows =
            ConnWork->OpenSchema(TSchemaKind::Columns, {QVariant(), QVariant(), table, column});
        const TField& schemaName = rows->FieldByName(QStringLiteral("TABLE_SCHEMA"));
        const TField& tableName = rows->FieldByName(QStringLiteral("TABLE_NAME"));
        const TField& columnName = rows->FieldByName(QStringLiteral("COLUMN_NAME"));
        for (rows->First(); !rows->Eof(); rows->Next()) {
            if (!result.isEmpty())
                result += QStringLiteral(" | ");
            result += QStringLiteral("%1.%2 %3 %4")
                          .arg(schemaName.AsText(), tableName.AsText(), columnName.AsText(),
                               m_providerTypes->ColumnTypeText(*rows));
        }
    } catch (const std::exception& e) {
        result += QStringLiteral("\r\nSchemaInfo=siColumns Exception: ") + SchemaErrorText(e);
    }
    return result;
}

QString TFrameWork::IndexFlags(const TRecordset& row) {
    QString flags;
    if (row.FieldByName(QStringLiteral("PRIMARY_KEY")).AsBoolean())
        flags += u'P';
    if (row.FieldByName(QStringLiteral("UNIQUE")).AsBoolean())
        flags += u'U';
    if (row.FieldByName(QStringLiteral("CLUSTERED")).AsBoolean())
        flags += u'C';
    return flags;
}

QString TFrameWork::IndexInfo(const QString& table) {
    QString result;
    try {
        const std::unique_ptr<TRecordset> rows = ConnWork->OpenSchema(
            TSchemaKind::Indexes, {QVariant(), QVariant(), QVariant(), QVariant(), table});
        AppendIndexLines(*rows, result);
    } catch (const std::exception& e) {
        result += QStringLiteral("\r\nSchemaInfo=siIndexes Exception: ") + SchemaErrorText(e);
    }
    return result;
}

void TFrameWork::AppendIndexLines(TRecordset& rows, QString& result) {
    const TField& schemaName = rows.FieldByName(QStringLiteral("TABLE_SCHEMA"));
    const TField& tableName = rows.FieldByName(QStringLiteral("TABLE_NAME"));
    const TField& indexName = rows.FieldByName(QStringLiteral("INDEX_NAME"));
    const TField& columnName = rows.FieldByName(QStringLiteral("COLUMN_NAME"));
    // Index names are unique per schema only: a row belongs to the index before it when
    // schema, table and index name are the same.
    const auto indexOfRow = [&] {
        return QStringList{schemaName.AsText(), tableName.AsText(), indexName.AsText()};
    };
    QString fields;
    rows.First();
    while (!rows.Eof()) {
        const QStringList index = indexOfRow();
        const QString name = indexName.AsText();
        const QString flags = IndexFlags(rows);
        if (!fields.isEmpty())
            fields += u';';
        fields += columnName.AsText();
        rows.Next();
        // Rows of one index follow each other; rows without an index name join the next
        // index's fields.
        if (!rows.Eof() && (indexOfRow() == index || name.isEmpty()))
            continue;
        if (!result.isEmpty())
            result += QStringLiteral("\r\n");
        result += QStringLiteral("Index %1 (%2) Fields: %3").arg(name, flags, fields);
        fields.clear();
    }
}

void TFrameWork::LbxFieldsClick() {
    const QListWidgetItem* table = LbxTables->currentItem();
    const QListWidgetItem* field = LbxFields->currentItem();
    if (!table || !field || LbxFields->count() == 0)
        return;
    SetStatusText(5, ColumnInfo(table->text(), field->text()));
}
