#include "data/CProviderTypes.h"

#include "data/Connection.h"
#include "data/Recordset.h"

#include <map>

TProviderTypes::TProviderTypes(TConnection& connection) {
    std::unique_ptr<TRecordset> rs = connection.OpenSchema(TSchemaKind::ProviderTypes);
    const TField& dataType = rs->FieldByName(QStringLiteral("DATA_TYPE"));
    const TField& typeName = rs->FieldByName(QStringLiteral("TYPE_NAME"));
    const TField& columnSize = rs->FieldByName(QStringLiteral("COLUMN_SIZE"));
    const TField& createParams = rs->FieldByName(QStringLiteral("CREATE_PARAMS"));
    const TField& isNullable = rs->FieldByName(QStringLiteral("IS_NULLABLE"));
    const TField& isFixedLength = rs->FieldByName(QStringLiteral("IS_FIXEDLENGTH"));
    const TField& isLong = rs->FieldByName(QStringLiteral("IS_LONG"));
    for (rs->First(); !rs->Eof(); rs->Next()) {
        TProviderType t;
        t.DataType = qint32(dataType.AsInteger());
        t.TypeName = typeName.AsString();
        t.ColumnSize = qint32(qBound(qint64(INT32_MIN), columnSize.AsInteger(), qint64(INT32_MAX)));
        t.CreateParams = createParams.AsString();
        t.IsNullable = isNullable.AsBoolean();
        t.IsFixedLength = isFixedLength.AsBoolean();
        t.IsLong = isLong.AsBoolean();
        m_entries.append(t);
    }
}

const TProviderType* TProviderTypes::FindType(int dataType, bool isLong, bool isFixedLength) const {
    for (const TProviderType& t : m_entries)
        if (t.DataType == dataType && t.IsLong == isLong && t.IsFixedLength == isFixedLength)
            return &t;
    return nullptr;
}

QString TProviderTypes::ColumnTypeText(const TRecordset& row) const {
    const int dataType = int(row.FieldByName(QStringLiteral("DATA_TYPE")).AsInteger());
    const int flags = int(row.FieldByName(QStringLiteral("COLUMN_FLAGS")).AsInteger());
    const bool isLong = flags & 0x80;
    const bool isFixedLength = flags & 0x10;
    const bool isNullable = flags & 0x20;
    const TProviderType* entry = FindType(dataType, isLong, isFixedLength);
    // The first type listed for the keys may not be the column's (a PostgreSQL array reads as
    // text, a timestamp through ODBC as timestamptz); a row that names its type knows better.
    const TField* typeName = row.Fields().FindField(QStringLiteral("TYPE_NAME"));
    const QString realName = typeName ? typeName->AsText().trimmed() : QString();
    // Parameters written with the name ("VARCHAR(40)") come from the row's sizes instead.
    QString baseName = realName;
    if (baseName.endsWith(u')') && baseName.contains(u'('))
        baseName = baseName.left(baseName.lastIndexOf(u'(')).trimmed();
    QString ownName;
    if (!baseName.isEmpty() && (!entry || entry->TypeName.compare(baseName, Qt::CaseInsensitive) != 0)) {
        entry = FindTypeByName(baseName);
        if (!entry)
            ownName = realName;
    }
    if (!entry && ownName.isEmpty())
        return DbTypeName(dataType);
    QString result = entry ? entry->TypeName : ownName;
    // A parameter the column does not have ("DOUBLE" without digits, "TEXT" without length)
    // leaves the list out: half a list is no type the column was declared with.
    const QString params = entry ? ExpandCreateParams(entry->CreateParams, row) : QString();
    if (!params.isEmpty())
        result += QStringLiteral(" (%1)").arg(params);
    if (!isNullable)
        result += QStringLiteral(" not");
    return result + QStringLiteral(" null");
}

const TProviderType* TProviderTypes::FindTypeByName(const QString& typeName) const {
    for (const TProviderType& t : m_entries)
        if (t.TypeName.compare(typeName, Qt::CaseInsensitive) == 0)
            return &t;
    return nullptr;
}

QString TProviderTypes::ExpandCreateParams(const QString& createParams, const TRecordset& row) const {
    const auto text = [&row](const char* column) {
        return row.FieldByName(QString::fromLatin1(column)).AsText();
    };
    QString result = createParams;
    const QList<std::pair<QString, QString>> keywords = {
        {QStringLiteral("max length"), text("CHARACTER_MAXIMUM_LENGTH")},
        {QStringLiteral("length"), text("CHARACTER_MAXIMUM_LENGTH")},
        {QStringLiteral("precision"), text("NUMERIC_PRECISION")},
        {QStringLiteral("scale"), text("NUMERIC_SCALE")},
    };
    for (const auto& [keyword, value] : keywords) {
        if (value.isEmpty() && result.contains(keyword, Qt::CaseSensitive))
            return {};
        ReplaceKeyword(keyword, value, result);
    }
    return result;
}

void TProviderTypes::ReplaceKeyword(const QString& keyword, const QString& value, QString& text) {
    if (text.contains(keyword, Qt::CaseSensitive))
        text.replace(keyword, value, Qt::CaseInsensitive);
}

QString TProviderTypes::DbTypeName(int value) {
    static const std::map<int, const char*> names = {
        {0, "EMPTY"},       {1, "NULL"},
        {2, "I2"},          {3, "I4"},
        {4, "R4"},          {5, "R8"},
        {6, "CY"},          {7, "DATE"},
        {8, "BSTR"},        {9, "IDISPATCH"},
        {10, "ERROR"},      {11, "BOOL"},
        {12, "VARIANT"},    {13, "IUNKNOWN"},
        {14, "DECIMAL"},    {16, "I1"},
        {17, "UI1"},        {18, "UI2"},
        {19, "UI4"},        {20, "I8"},
        {21, "UI8"},        {72, "GUID"},
        {128, "BYTES"},     {129, "STR"},
        {130, "WSTR"},      {131, "NUMERIC"},
        {132, "UDT"},       {133, "DBDATE"},
        {134, "DBTIME"},    {135, "DBTIMESTAMP"},
        {0x1000, "VECTOR"}, {0x2000, "ARRAY"},
        {0x4000, "BYREF"},  {0x8000, "RESERVED"},
    };
    const auto it = names.find(value);
    if (it != names.end())
        return QString::fromLatin1(it->second);
    return QStringLiteral("%1(%2)").arg(value).arg(quint32(value), 8, 16, QLatin1Char('0')).toUpper();
}
