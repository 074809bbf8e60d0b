#pragma once

#include <QList>
#include <QString>

class TConnection;
class TRecordset;

// One row of the provider types rowset.
struct TProviderType {
    qint32 DataType = 0;
    QString TypeName;
    qint32 ColumnSize = 0;
    QString CreateParams;
    bool IsNullable = false;
    bool IsFixedLength = false;
    bool IsLong = false;
};

// A snapshot of a connection's provider types, turning COLUMNS rows into type texts such as
// "varchar (40) not null" in the database's own words. GUI thread; read-only once built.
class TProviderTypes {
public:
    // Reads the PROVIDER_TYPES rowset; its errors propagate.
    explicit TProviderTypes(TConnection& connection);
    explicit TProviderTypes(QList<TProviderType> entries)
        : m_entries(std::move(entries)) {}

    const QList<TProviderType>& Entries() const { return m_entries; }
    int Count() const { return int(m_entries.size()); }
    const TProviderType& Item(int index) const { return m_entries.at(index); }

    // The first entry with these keys, or null.
    const TProviderType* FindType(int dataType, bool isLong, bool isFixedLength) const;
    // The first entry of that name, without regard to case, or null.
    const TProviderType* FindTypeByName(const QString& typeName) const;
    // The type text of the current row of a COLUMNS rowset. A row whose TYPE_NAME names
    // another type than the first entry of its keys is shown by that name: through the
    // provider's entry of that name when there is one, else as the row writes it.
    QString ColumnTypeText(const TRecordset& columnsRow) const;
    QString ExpandCreateParams(const QString& createParams, const TRecordset& columnsRow) const;
    static void ReplaceKeyword(const QString& keyword, const QString& value, QString& text);
    // The OLE DB type indicator's name ("WSTR"), or "64(00000040)" for values without one.
    static QString DbTypeName(int value);

private:
    QList<TProviderType> m_entries;
};
