#pragma once

#include "data/DataTypes.h"

#include <QList>
#include <QString>
#include <QVariant>
#include <memory>
#include <vector>

class TRecordset;

// What a provider reports about one result column.
struct TColumnInfo {
    QString Name;
    TDataType Type = TDataType::VarWChar;
    qint64 DefinedSize = 0; // characters or bytes; 0 when unknown or unlimited
    int Precision = 0;
    int Scale = 0;
    bool Nullable = true;
    // Where the column comes from; empty for expressions. Used for updatable results.
    QString BaseCatalog;
    QString BaseSchema;
    QString BaseTable;
    QString BaseColumn;
};

// One column of a recordset; its value functions read the recordset's current row (or the
// edit buffer while a row is being edited). GUI thread.
class TField {
public:
    TField(TRecordset* owner, TColumnInfo info, int index);

    const QString& Name() const { return m_info.Name; }
    TDataType Type() const { return m_info.Type; }
    int Index() const { return m_index; }
    int Position() const { return m_index; }
    qint64 DefinedSize() const { return m_info.DefinedSize; }
    int Precision() const { return m_info.Precision; }
    int Scale() const { return m_info.Scale; }
    bool IsBlob() const { return IsBlobType(m_info.Type); }
    const TColumnInfo& Info() const { return m_info; }

    // Width in characters in which the grid shows the field.
    int DisplayWidth() const { return m_displayWidth; }
    void SetDisplayWidth(int characters) { m_displayWidth = characters; }

    bool IsNull() const;
    // The value as text in the user's locale; null gives the empty text.
    QString AsText() const;
    QString AsString() const { return AsText(); }
    QVariant Value() const;
    qint64 AsInteger() const;
    double AsFloat() const;
    bool AsBoolean() const;
    // Changes the value in the edit buffer (after Edit or Insert).
    void SetValue(const QVariant& value);

private:
    TRecordset* m_owner;
    TColumnInfo m_info;
    int m_index;
    int m_displayWidth;
};

// The fields of a recordset by position and by name.
class TFields {
public:
    int Count() const { return int(m_fields.size()); }
    TField& operator[](int index) const { return *m_fields.at(index); }
    TField& Item(int index) const { return *m_fields.at(index); }
    // By name without regard to case; a missing name raises TDataError.
    TField& FieldByName(const QString& name) const;
    TField* FindField(const QString& name) const;

    void Add(std::unique_ptr<TField> field) { m_fields.push_back(std::move(field)); }
    void Clear() { m_fields.clear(); }

private:
    std::vector<std::unique_ptr<TField>> m_fields;
};
