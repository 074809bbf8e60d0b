// The schema lists on the right side: tables, fields of the chosen table, and putting
// names into the editor.
#include "workspace/Work.h"

#include "data/CQry.h"
#include "data/Connection.h"
#include "data/Query.h"
#include "data/Recordset.h"
#include "data/SqlScan.h"
#include "editor/SqlEdit.h"
#include "ui/ErrorHandler.h"
#include "ui/WorkerWait.h"
#include "workspace/HeaderBar.h"

#include <QHash>
#include <QLabel>
#include <QListWidget>
#include <QScrollBar>
#include <QSet>
#include <QToolButton>

namespace {

// What an entry of the tables list knows beside its text: the table's schema, and whether
// SQL must name the schema to reach this very table.
constexpr int SchemaRole = Qt::UserRole;
constexpr int QualifyRole = Qt::UserRole + 1;

// Entries sort alphabetically without regard to case, as a user reads a list of names; one
// name in several schemas in the order of the schemas.
class TNameItem : public QListWidgetItem {
public:
    explicit TNameItem(const QString& text)
        : QListWidgetItem(text) {}
    bool operator<(const QListWidgetItem& other) const override {
        const int order = text().compare(other.text(), Qt::CaseInsensitive);
        if (order != 0)
            return order < 0;
        if (text() != other.text())
            return text() < other.text();
        return data(SchemaRole).toString() < other.data(SchemaRole).toString();
    }
};

void AddName(QListWidget* list, const QString& name) {
    list->addItem(new TNameItem(name));
}

QListWidgetItem* LastSelected(const QListWidget* list) {
    for (int i = list->count() - 1; i >= 0; --i)
        if (list->item(i)->isSelected())
            return list->item(i);
    return nullptr;
}

// A table of the list by schema and name, which stays when the list is read again.
using TListKey = QPair<QString, QString>;

TListKey KeyOf(const QListWidgetItem* item) {
    return {item->data(SchemaRole).toString(), item->text()};
}

// The first words of a statement in upper case, comments skipped; up to the first character
// that is no letter, "_" or blank.
QStringList LeadingWords(const QString& statement, int count) {
    QStringList words;
    qsizetype pos = 0;
    const qsizetype size = statement.size();
    while (pos < size && words.size() < count) {
        const QChar c = statement.at(pos);
        if (c.isSpace()) {
            ++pos;
        } else if (const qsizetype after = SqlSkipComment(statement, pos); after != pos) {
            pos = after;
        } else if (c.isLetter() || c == u'_') {
            const qsizetype start = pos;
            while (pos < size && (statement.at(pos).isLetterOrNumber() || statement.at(pos) == u'_'))
                ++pos;
            words << statement.mid(start, pos - start).toUpper();
        } else {
            break;
        }
    }
    return words;
}

void SetCaption(THeaderBar* bar, const QString& caption, int count) {
    bar->Caption()->setText(count < 0 ? caption : caption + QStringLiteral(" (%1)").arg(count));
}

// The text of a column of a schema rowset by its OLE DB name.
int ColumnOf(const TRecordset& rows, const char* name) {
    return rows.FieldByName(QLatin1String(name)).Index();
}

} // namespace

void TFrameWork::SetListError(QListWidget* list, const QString& what, const QString& message) {
    AddName(list, what);
    AddName(list, QLatin1Char('<') + message + QLatin1Char('>'));
}

void TFrameWork::RefreshTables(bool onWorker) {
    LbxTables->clear();
    SetCaption(PnlTables, QStringLiteral("Tabellen"), -1);
    try {
        std::unique_ptr<TRecordset> rows;
        const auto read = [this, &rows] {
            rows = ConnWork->OpenSchema(TSchemaKind::Tables);
        };
        if (onWorker)
            RunInWorker(read);
        else
            read();
        const int schemaColumn = ColumnOf(*rows, "TABLE_SCHEMA");
        const int nameColumn = ColumnOf(*rows, "TABLE_NAME");
        const int typeColumn = ColumnOf(*rows, "TABLE_TYPE");
        const int visibleColumn = ColumnOf(*rows, "VISIBLE");
        QList<qint64> listed;
        for (qint64 row = 0; row < rows->RecordCount(); ++row) {
            const QString type = rows->Text(row, typeColumn);
            if (type == QLatin1String("TABLE") || type == QLatin1String("VIEW"))
                listed << row;
        }
        LbxTables->setUpdatesEnabled(false);
        for (const qint64 row : std::as_const(listed)) {
            const QString name = rows->Text(row, nameColumn);
            const QString schema = rows->Text(row, schemaColumn);
            // Where the provider cannot tell which table a bare name finds, the name goes with
            // its schema: the bare one may find a namesake or, outside the search path, nothing.
            const QVariant visible = rows->Value(row, visibleColumn);
            const bool qualify = !schema.isEmpty() && (visible.isNull() || !visible.toBool());
            auto* item = new TNameItem(name);
            item->setData(SchemaRole, schema);
            item->setData(QualifyRole, qualify);
            LbxTables->addItem(item);
        }
        LbxTables->setUpdatesEnabled(true);
        SetCaption(PnlTables, QStringLiteral("Tabellen"), LbxTables->count());
    } catch (const std::exception& e) {
        LbxTables->setUpdatesEnabled(true);
        SetListError(LbxTables, QStringLiteral("<Tabellenliste kann nicht gelesen werden>"), ErrorMessage(e));
        UpdateEditorNames(false);
        return;
    }
    UpdateEditorNames(true);
}

void TFrameWork::RefreshFields() {
    LbxFields->clear();
    LbxFields->setSortingEnabled(BtnFieldsSort->isChecked());
    SetCaption(PnlFields, QStringLiteral("Felder"), -1);
    // No table chosen, no fields: a read without a table would list every column there is.
    const QListWidgetItem* table = LastSelected(LbxTables);
    if (!table)
        return;
    // The fields of this very table, not those of its namesakes in other schemas.
    const QString schema = table->data(SchemaRole).toString();
    try {
        const std::unique_ptr<TRecordset> rows = ConnWork->OpenSchema(
            TSchemaKind::Columns,
            {QVariant(), schema.isEmpty() ? QVariant() : QVariant(schema), table->text()});
        const int nameColumn = ColumnOf(*rows, "COLUMN_NAME");
        for (qint64 row = 0; row < rows->RecordCount(); ++row)
            AddName(LbxFields, rows->Text(row, nameColumn));
        SetCaption(PnlFields, QStringLiteral("Felder"), LbxFields->count());
    } catch (const std::exception&) {
        // A provider without a columns rowset: ask the table itself. The first error is not
        // shown; only when the fallback fails too is its message.
        try {
            ReadFieldsByQuery();
            SetCaption(PnlFields, QStringLiteral("Felder"), LbxFields->count());
        } catch (const std::exception& e) {
            SetListError(LbxFields, QStringLiteral("<Feldliste kann nicht gelesen werden>"), ErrorMessage(e));
        }
    }
}

void TFrameWork::ReadFieldsByQuery() {
    LbxFields->clear();
    const QListWidgetItem* table = LastSelected(LbxTables);
    if (!table)
        return;
    TQry::DefaultConnection = ConnWork;
    // The name is data: quoted where the database would read it otherwise.
    const std::unique_ptr<TQuery> query = TQry::OpenQuery(
        QStringLiteral("select * from ") + TableSqlName(table) + QStringLiteral(" where 1=0"), false);
    const TFields& fields = query->Fields();
    for (int i = 0; i < fields.Count(); ++i)
        AddName(LbxFields, fields[i].Name());
}

void TFrameWork::LbxTablesClick() {
    RefreshFields();
}

void TFrameWork::LbxTablesDblClick() {
    InsertIntoSql(SelectedItemsText(LbxTables));
}

void TFrameWork::LbxFieldsDblClick() {
    InsertIntoSql(SelectedItemsText(LbxFields));
}

void TFrameWork::BtnFieldsSortClick() {
    RefreshFields();
}

QString TFrameWork::LastSelectedItem(const QListWidget* list) {
    const QListWidgetItem* item = LastSelected(list);
    return item ? item->text() : QString();
}

QString TFrameWork::SelectedItemsText(const QListWidget* list) {
    QString text;
    for (int i = 0; i < list->count(); ++i) {
        if (!list->item(i)->isSelected())
            continue;
        if (!text.isEmpty())
            text += QStringLiteral(", ");
        text += list->item(i)->text();
    }
    return text;
}

void TFrameWork::DeselectAll(QListWidget* list) {
    list->clearSelection();
}

QString TFrameWork::SelectedSqlNames(const QListWidget* list) {
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->isSelected())
            names.append(ConnWork->SqlName(list->item(i)->text()));
    return names.join(QStringLiteral(", "));
}

QString TFrameWork::TableSqlName(const QListWidgetItem* table) {
    const QString name = ConnWork->SqlName(table->text());
    if (!table->data(QualifyRole).toBool())
        return name;
    return ConnWork->SqlName(table->data(SchemaRole).toString()) + QLatin1Char('.') + name;
}

bool TFrameWork::ChangesTables(const QString& statement) {
    const QStringList words = LeadingWords(statement, 8);
    const QString verb = words.value(0);
    // Another database, or another search path, changes what the list holds or which table a
    // bare name finds.
    if (verb == QLatin1String("ATTACH") || verb == QLatin1String("DETACH") || verb == QLatin1String("USE"))
        return true;
    if (verb == QLatin1String("SET")) {
        const bool scoped =
            words.value(1) == QLatin1String("SESSION") || words.value(1) == QLatin1String("LOCAL");
        return words.value(scoped ? 2 : 1) == QLatin1String("SEARCH_PATH");
    }
    if (verb == QLatin1String("RENAME"))
        return words.value(1) == QLatin1String("TABLE");
    if (verb != QLatin1String("CREATE") && verb != QLatin1String("DROP") && verb != QLatin1String("ALTER"))
        return false;
    static const QSet<QString> modifiers{
        QStringLiteral("OR"),        QStringLiteral("REPLACE"),      QStringLiteral("TEMP"),
        QStringLiteral("TEMPORARY"), QStringLiteral("GLOBAL"),       QStringLiteral("LOCAL"),
        QStringLiteral("UNLOGGED"),  QStringLiteral("MATERIALIZED"), QStringLiteral("FOREIGN"),
        QStringLiteral("VIRTUAL"),   QStringLiteral("RECURSIVE")};
    qsizetype i = 1;
    while (i < words.size() && modifiers.contains(words.at(i)))
        ++i;
    const QString object = words.value(i);
    return object == QLatin1String("TABLE") || object == QLatin1String("VIEW") ||
           object == QLatin1String("SCHEMA");
}

void TFrameWork::RefreshListsAfterChange() {
    QSet<TListKey> selected;
    for (const QListWidgetItem* item : LbxTables->selectedItems())
        selected.insert(KeyOf(item));
    const QListWidgetItem* current = LbxTables->currentItem();
    const TListKey currentKey = current ? KeyOf(current) : TListKey();
    const int scrolled = LbxTables->verticalScrollBar()->value();
    RefreshTables();
    for (int i = 0; i < LbxTables->count(); ++i) {
        QListWidgetItem* item = LbxTables->item(i);
        const TListKey key = KeyOf(item);
        if (selected.contains(key))
            item->setSelected(true);
        if (current && key == currentKey)
            LbxTables->setCurrentItem(item, QItemSelectionModel::NoUpdate);
    }
    LbxTables->verticalScrollBar()->setValue(scrolled);
    RefreshFields();
}

void TFrameWork::InsertIntoSql(const QString& text) {
    if (MemSql->HasSelection())
        MemSql->DeleteSelection();
    MemSql->InsertColumnBlock(text);
    MemSql->update();
    MemSql->setFocus();
}
