// The schema lists on the right side: tables, fields of the chosen table, and putting
// names into the editor.
#include "workspace/Work.h"

#include "data/CQry.h"
#include "data/Connection.h"
#include "data/Query.h"
#include "data/Recordset.h"
#include "editor/SqlEdit.h"
#include "ui/ErrorHandler.h"
#include "ui/WorkerWait.h"
#include "workspace/HeaderBar.h"

#include <QLabel>
#include <QListWidget>
#include <QToolButton>

namespace {

// Entries sort alphabetically without regard to case, as a user reads a list of names.
class TNameItem : public QListWidgetItem {
public:
    explicit TNameItem(const QString& text)
        : QListWidgetItem(text) {}
    bool operator<(const QListWidgetItem& other) const override {
        const int order = text().compare(other.text(), Qt::CaseInsensitive);
        return order != 0 ? order < 0 : text() < other.text();
    }
};

void AddName(QListWidget* list, const QString& name) {
    list->addItem(new TNameItem(name));
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
        const auto read = [this, &rows] { rows = ConnWork->OpenSchema(TSchemaKind::Tables); };
        if (onWorker)
            RunInWorker(read);
        else
            read();
        const int nameColumn = ColumnOf(*rows, "TABLE_NAME");
        const int typeColumn = ColumnOf(*rows, "TABLE_TYPE");
        LbxTables->setUpdatesEnabled(false);
        for (qint64 row = 0; row < rows->RecordCount(); ++row) {
            const QString type = rows->Text(row, typeColumn);
            if (type == QLatin1String("TABLE") || type == QLatin1String("VIEW"))
                AddName(LbxTables, rows->Text(row, nameColumn));
        }
        LbxTables->setUpdatesEnabled(true);
        SetCaption(PnlTables, QStringLiteral("Tabellen"), LbxTables->count());
    } catch (const std::exception& e) {
        LbxTables->setUpdatesEnabled(true);
        SetListError(LbxTables, QStringLiteral("<Tabellenliste kann nicht gelesen werden>"), ErrorMessage(e));
    }
}

void TFrameWork::RefreshFields() {
    LbxFields->clear();
    LbxFields->setSortingEnabled(BtnFieldsSort->isChecked());
    SetCaption(PnlFields, QStringLiteral("Felder"), -1);
    const QString table = LastSelectedItem(LbxTables);
    try {
        const std::unique_ptr<TRecordset> rows =
            ConnWork->OpenSchema(TSchemaKind::Columns, {QVariant(), QVariant(), table});
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
    TQry::DefaultConnection = ConnWork;
    // The name is data: quoted where the database would read it otherwise.
    const std::unique_ptr<TQuery> query =
        TQry::OpenQuery(QStringLiteral("select * from ") + ConnWork->SqlName(LastSelectedItem(LbxTables)) +
                            QStringLiteral(" where 1=0"),
                        false);
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
    for (int i = list->count() - 1; i >= 0; --i)
        if (list->item(i)->isSelected())
            return list->item(i)->text();
    return {};
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

void TFrameWork::InsertIntoSql(const QString& text) {
    if (MemSql->HasSelection())
        MemSql->DeleteSelection();
    MemSql->InsertColumnBlock(text);
    MemSql->update();
    MemSql->setFocus();
}
