#include "data/Recordset.h"

#include "data/DataError.h"
#include "data/RowUpdater.h"

#include <QDateTime>
#include <QLocale>
#include <algorithm>

namespace {

const QLocale& UserLocale() {
    static const QLocale locale = [] {
        QLocale l = QLocale::system();
        l.setNumberOptions(QLocale::OmitGroupSeparator);
        return l;
    }();
    return locale;
}

QString DateFormat() {
    static const QString format = [] {
        QString f = UserLocale().dateFormat(QLocale::ShortFormat);
        if (!f.contains(QLatin1String("yyyy")))
            f.replace(QLatin1String("yy"), QLatin1String("yyyy"));
        return f;
    }();
    return format;
}

QString TimeFormat() {
    static const QString format = [] {
        QString f = UserLocale().timeFormat(QLocale::ShortFormat);
        if (!f.contains(QLatin1String("ss")))
            f.replace(QLatin1String("mm"), QLatin1String("mm:ss"));
        return f;
    }();
    return format;
}

QString TimeText(const QTime& time) {
    QString text = UserLocale().toString(time, TimeFormat());
    if (time.msec() != 0)
        text += UserLocale().decimalPoint() + QStringLiteral("%1").arg(time.msec(), 3, 10, QLatin1Char('0'));
    return text;
}

QString DateTimeText(const QDateTime& dt, bool dateOnly) {
    const QString date = UserLocale().toString(dt.date(), DateFormat());
    if (dateOnly || dt.time() == QTime(0, 0))
        return date;
    return date + u' ' + TimeText(dt.time());
}

QDateTime WallClock(qint64 msecs) {
    const QDateTime utc = QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
    return QDateTime(utc.date(), utc.time());
}

qint64 WallMsecs(const QDateTime& dt) {
    return QDateTime(dt.date(), dt.time(), Qt::UTC).toMSecsSinceEpoch();
}

bool IsDateType(TDataType type) {
    return type == TDataType::Date || type == TDataType::DBDate || type == TDataType::DBTimeStamp ||
           type == TDataType::DBTime;
}

bool IsDecimalType(TDataType type) {
    return type == TDataType::Numeric || type == TDataType::Decimal || type == TDataType::Currency ||
           type == TDataType::Double || type == TDataType::Single;
}

// Date and number texts (SQLite keeps them as text) shown in the user's locale.
QString TypedText(const QString& text, TDataType type) {
    if (IsDateType(type)) {
        // A text that is no day of the calendar ("0044-03-15 BC", "infinity") stays as it is,
        // rather than read as the date its digits would make.
        if (std::any_of(text.cbegin(), text.cend(),
                        [](QChar c) { return c.isLetter() && c != u'T' && c != u'Z'; }))
            return text;
        QDateTime dt = QDateTime::fromString(text, Qt::ISODateWithMs);
        if (dt.isValid())
            return DateTimeText(dt, type == TDataType::DBDate);
        const QDate d = QDate::fromString(text, Qt::ISODate);
        if (d.isValid())
            return UserLocale().toString(d, DateFormat());
        const QTime t = QTime::fromString(text, Qt::ISODateWithMs);
        if (t.isValid())
            return TimeText(t);
        return text;
    }
    if (IsDecimalType(type)) {
        bool ok = false;
        text.toDouble(&ok);
        if (ok && UserLocale().decimalPoint() != QLatin1String(".")) {
            QString t = text;
            t.replace(u'.', UserLocale().decimalPoint());
            return t;
        }
    }
    return text;
}

} // namespace

QString TRecordset::CellText(const TCell& cell, TDataType type) {
    switch (cell.Kind) {
    case TCell::Null:
        return {};
    case TCell::Integer:
        if (type == TDataType::Boolean)
            return cell.Int ? QStringLiteral("True") : QStringLiteral("False");
        return UserLocale().toString(cell.Int);
    case TCell::Float:
        return UserLocale().toString(cell.Real, 'g', QLocale::FloatingPointShortest);
    case TCell::Text:
        return TypedText(QString::fromUtf8(cell.Data, cell.Size), type);
    case TCell::Bytes:
        return QStringLiteral("0x") + QString::fromLatin1(QByteArray(cell.Data, cell.Size).toHex().toUpper());
    case TCell::Date:
        return UserLocale().toString(QDate(1970, 1, 1).addDays(cell.Int), DateFormat());
    case TCell::Time:
        return TimeText(QTime::fromMSecsSinceStartOfDay(int(cell.Int)));
    case TCell::Timestamp:
        return DateTimeText(WallClock(cell.Int), false);
    }
    return {};
}

QVariant TRecordset::CellValue(const TCell& cell, TDataType type) {
    switch (cell.Kind) {
    case TCell::Null:
        return {};
    case TCell::Integer:
        if (type == TDataType::Boolean)
            return QVariant(cell.Int != 0);
        return QVariant(qlonglong(cell.Int));
    case TCell::Float:
        return QVariant(cell.Real);
    case TCell::Text:
        return QVariant(QString::fromUtf8(cell.Data, cell.Size));
    case TCell::Bytes:
        return QVariant(QByteArray(cell.Data, cell.Size));
    case TCell::Date:
        return QVariant(QDate(1970, 1, 1).addDays(cell.Int));
    case TCell::Time:
        return QVariant(QTime::fromMSecsSinceStartOfDay(int(cell.Int)));
    case TCell::Timestamp:
        return QVariant(WallClock(cell.Int));
    }
    return {};
}

QByteArray TRecordset::EncodeValues(const QVariantList& values) {
    TRowStore scratch(int(values.size()));
    scratch.BeginRow();
    for (const QVariant& v : values) {
        if (v.isNull()) {
            scratch.AddNull();
            continue;
        }
        switch (v.typeId()) {
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Long:
        case QMetaType::Short:
        case QMetaType::Char:
            scratch.AddInt(v.toLongLong());
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            scratch.AddReal(v.toDouble());
            break;
        case QMetaType::QByteArray: {
            const QByteArray b = v.toByteArray();
            scratch.AddBytes(b.constData(), b.size());
            break;
        }
        case QMetaType::QDate:
            scratch.AddDate(QDate(1970, 1, 1).daysTo(v.toDate()));
            break;
        case QMetaType::QTime:
            scratch.AddTime(v.toTime().msecsSinceStartOfDay());
            break;
        case QMetaType::QDateTime:
            scratch.AddTimestamp(WallMsecs(v.toDateTime()));
            break;
        default:
            scratch.AddText(v.toString());
            break;
        }
    }
    return scratch.PendingRow();
}

TRecordset::TRecordset() = default;
TRecordset::~TRecordset() = default;

std::unique_ptr<TRecordset> TRecordset::CreateStatic(const QList<TColumnInfo>& columns) {
    auto rs = std::make_unique<TRecordset>();
    rs->ResetColumns(columns);
    return rs;
}

void TRecordset::AppendRow(const QVariantList& values) {
    Q_ASSERT(m_store);
    QVariantList row = values.mid(0, m_fields.Count());
    while (row.size() < m_fields.Count())
        row.append(QVariant());
    m_store->AppendEncoded(EncodeValues(row));
    if (m_current < 0)
        m_current = 0;
}

void TRecordset::ResetColumns(const QList<TColumnInfo>& columns, std::shared_ptr<TRowStore> store) {
    ClearRecordset();
    for (int i = 0; i < columns.size(); ++i)
        m_fields.Add(std::make_unique<TField>(this, columns[i], i));
    m_store = store ? std::move(store) : std::make_shared<TRowStore>(int(columns.size()));
    m_current = 0;
}

void TRecordset::ClearRecordset() {
    m_updater.reset();
    m_fields.Clear();
    m_store.reset();
    m_current = -1;
    m_state = TEditState::Browse;
    m_editValues.clear();
    m_editChanged.clear();
    m_changedRows.clear();
    m_deletedRows.clear();
}

void TRecordset::SetUpdater(std::unique_ptr<TRowUpdater> updater) {
    m_updater = std::move(updater);
}

qint64 TRecordset::RecordCount() const {
    return m_store ? m_store->RowCount() - m_deletedRows.size() : 0;
}

bool TRecordset::Eof() const {
    return m_current >= RecordCount();
}

bool TRecordset::Bof() const {
    return m_current < 0 || RecordCount() == 0;
}

void TRecordset::MoveTo(qint64 row) {
    if (m_state != TEditState::Browse)
        Post();
    m_current = std::clamp<qint64>(row, -1, RecordCount());
}

void TRecordset::First() {
    MoveTo(0);
}

void TRecordset::Next() {
    MoveTo(m_current + 1);
}

void TRecordset::Prior() {
    MoveTo(m_current - 1);
}

void TRecordset::Last() {
    MoveTo(RecordCount() - 1);
}

qint64 TRecordset::PhysicalRow(qint64 row) const {
    qint64 p = row;
    for (qint64 d : m_deletedRows) {
        if (d <= p)
            ++p;
        else
            break;
    }
    return p;
}

qint64 TRecordset::LogicalRow(qint64 physical) const {
    const auto before = std::lower_bound(m_deletedRows.begin(), m_deletedRows.end(), physical);
    return physical - (before - m_deletedRows.begin());
}

TBookmark TRecordset::GetBookmark() const {
    RequireCurrentRow();
    return PhysicalRow(m_current);
}

void TRecordset::GotoBookmark(TBookmark bookmark) {
    if (!m_store || bookmark < 0 || bookmark >= m_store->RowCount() ||
        std::binary_search(m_deletedRows.begin(), m_deletedRows.end(), bookmark))
        throw TDataError(
            QStringLiteral("Die Lesezeichen-Position ist ungültig; der Datensatz wurde gelöscht"));
    MoveTo(LogicalRow(bookmark));
}

TCell TRecordset::Cell(qint64 row, int column) const {
    Q_ASSERT(m_store && row >= 0 && row < RecordCount());
    const qint64 p = PhysicalRow(row);
    if (!m_changedRows.isEmpty()) {
        const auto it = m_changedRows.constFind(p);
        if (it != m_changedRows.constEnd())
            return TRowStore::CellOfRow(it->constData(), column);
    }
    return m_store->Cell(p, column);
}

QString TRecordset::Text(qint64 row, int column) const {
    return CellText(Cell(row, column), m_fields[column].Type());
}

QVariant TRecordset::Value(qint64 row, int column) const {
    return CellValue(Cell(row, column), m_fields[column].Type());
}

void TRecordset::RequireCurrentRow() const {
    if (Bof() || Eof())
        throw TDataError(QStringLiteral("Kein aktueller Datensatz (Anfang oder Ende der Daten)"));
}

TCell TRecordset::CurrentCell(int column) const {
    RequireCurrentRow();
    return Cell(m_current, column);
}

QVariant TRecordset::CurrentValue(int column) const {
    if (m_state != TEditState::Browse)
        return m_editValues.at(column);
    return CellValue(CurrentCell(column), m_fields[column].Type());
}

bool TRecordset::Supports(TCursorOption option) const {
    if (option == TCursorOption::Bookmark)
        return true;
    return m_updater != nullptr;
}

void TRecordset::RequireUpdatable() const {
    if (!m_updater)
        throw TDataError(
            QStringLiteral("Die Datenmenge kann nicht geändert werden (schreibgeschützt, oder sie "
                           "stammt nicht aus genau einer Tabelle mit Schlüssel)"));
    if (Fetching())
        throw TDataError(
            QStringLiteral("Die Datensätze werden noch geladen; Änderungen sind erst danach möglich"));
}

void TRecordset::Edit() {
    if (m_state != TEditState::Browse)
        return;
    RequireUpdatable();
    RequireCurrentRow();
    m_editValues.clear();
    for (int i = 0; i < m_fields.Count(); ++i)
        m_editValues.append(CellValue(Cell(m_current, i), m_fields[i].Type()));
    m_editChanged = QList<bool>(m_fields.Count(), false);
    m_state = TEditState::Edit;
}

void TRecordset::Insert() {
    if (m_state != TEditState::Browse)
        Post();
    RequireUpdatable();
    m_editValues = QVariantList(m_fields.Count());
    m_editChanged = QList<bool>(m_fields.Count(), false);
    m_state = TEditState::Insert;
}

void TRecordset::SetEditValue(int column, const QVariant& value) {
    if (m_state == TEditState::Browse)
        throw TDataError(
            QStringLiteral("Der Datensatz ist nicht im Bearbeitungsmodus (zuerst Bearbeiten oder "
                           "Einfügen)"));
    m_editValues[column] = value;
    m_editChanged[column] = true;
}

static void CheckRowCount(qint64 count) {
    if (count == 0)
        throw TDataError(
            QStringLiteral("Der Datensatz wurde nicht gefunden: er wurde inzwischen geändert oder "
                           "gelöscht. Es wurde nichts gespeichert."));
    if (count != 1)
        throw TDataError(
            QStringLiteral("Die Änderung hätte %1 Datensätze statt einem betroffen. Es wurde nichts "
                           "gespeichert.")
                .arg(count));
}

void TRecordset::Post() {
    if (m_state == TEditState::Browse)
        return;
    if (m_state == TEditState::Edit) {
        if (!m_editChanged.contains(true)) {
            m_state = TEditState::Browse;
            return;
        }
        QVariantList oldValues;
        for (int i = 0; i < m_fields.Count(); ++i)
            oldValues.append(CellValue(Cell(m_current, i), m_fields[i].Type()));
        CheckRowCount(m_updater->Update(oldValues, m_editValues, m_editChanged));
        m_changedRows.insert(PhysicalRow(m_current), EncodeValues(m_editValues));
    } else {
        CheckRowCount(m_updater->Insert(m_editValues, m_editChanged));
        m_store->AppendEncoded(EncodeValues(m_editValues));
        m_current = RecordCount() - 1;
    }
    m_state = TEditState::Browse;
    m_editValues.clear();
    m_editChanged.clear();
}

void TRecordset::CancelUpdate() {
    m_state = TEditState::Browse;
    m_editValues.clear();
    m_editChanged.clear();
    if (m_current > RecordCount())
        m_current = RecordCount();
}

void TRecordset::Delete() {
    if (m_state == TEditState::Insert) {
        CancelUpdate();
        return;
    }
    RequireUpdatable();
    RequireCurrentRow();
    QVariantList oldValues;
    for (int i = 0; i < m_fields.Count(); ++i)
        oldValues.append(CellValue(Cell(m_current, i), m_fields[i].Type()));
    CheckRowCount(m_updater->Delete(oldValues));
    m_state = TEditState::Browse;
    const qint64 p = PhysicalRow(m_current);
    m_deletedRows.insert(std::lower_bound(m_deletedRows.begin(), m_deletedRows.end(), p), p);
    m_changedRows.remove(p);
    if (m_current >= RecordCount())
        m_current = RecordCount() - 1 >= 0 ? RecordCount() - 1 : 0;
}
