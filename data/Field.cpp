#include "data/Field.h"

#include "data/DataError.h"
#include "data/Recordset.h"

namespace {

int DefaultDisplayWidth(const TColumnInfo& info) {
    switch (info.Type) {
    case TDataType::Boolean:
        return 5;
    case TDataType::TinyInt:
    case TDataType::SmallInt:
    case TDataType::UnsignedTinyInt:
    case TDataType::UnsignedSmallInt:
        return 6;
    case TDataType::Integer:
    case TDataType::UnsignedInt:
        return 11;
    case TDataType::BigInt:
    case TDataType::UnsignedBigInt:
        return 20;
    case TDataType::Single:
    case TDataType::Double:
    case TDataType::Currency:
    case TDataType::Decimal:
    case TDataType::Numeric:
        return info.Precision > 0 ? info.Precision + 2 : 15;
    case TDataType::DBDate:
        return 10;
    case TDataType::DBTime:
        return 8;
    case TDataType::Date:
    case TDataType::DBTimeStamp:
        return 19;
    case TDataType::Guid:
        return 38;
    default:
        break;
    }
    if (info.DefinedSize > 0 && info.DefinedSize <= 100)
        return int(info.DefinedSize);
    return 30;
}

} // namespace

TField::TField(TRecordset* owner, TColumnInfo info, int index)
    : m_owner(owner)
    , m_info(std::move(info))
    , m_index(index)
    , m_displayWidth(DefaultDisplayWidth(m_info)) {}

bool TField::IsNull() const {
    return m_owner->CurrentValue(m_index).isNull();
}

QString TField::AsText() const {
    if (m_owner->State() != TRecordset::TEditState::Browse) {
        const QByteArray row = TRecordset::EncodeValues({m_owner->CurrentValue(m_index)});
        return TRecordset::CellText(TRowStore::CellOfRow(row.constData(), 0), m_info.Type);
    }
    return TRecordset::CellText(m_owner->CurrentCell(m_index), m_info.Type);
}

QVariant TField::Value() const {
    return m_owner->CurrentValue(m_index);
}

qint64 TField::AsInteger() const {
    return Value().toLongLong();
}

double TField::AsFloat() const {
    return Value().toDouble();
}

bool TField::AsBoolean() const {
    const QVariant v = Value();
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed();
        return s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || s == QLatin1String("1") ||
               s.compare(QLatin1String("t"), Qt::CaseInsensitive) == 0;
    }
    return v.toBool();
}

void TField::SetValue(const QVariant& value) {
    m_owner->SetEditValue(m_index, value);
}

TField* TFields::FindField(const QString& name) const {
    for (const auto& f : m_fields)
        if (f->Name().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    return nullptr;
}

TField& TFields::FieldByName(const QString& name) const {
    if (TField* f = FindField(name))
        return *f;
    throw TDataError(QStringLiteral("Feld „%1“ nicht gefunden").arg(name));
}
