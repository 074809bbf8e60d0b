#include "data/Recordset.h"

#include "data/DataError.h"
#include "data/RowUpdater.h"
#include "data/ValueText.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QStringDecoder>
#include <algorithm>
#include <charconv>

namespace {

QDateTime WallClock(qint64 msecs) {
    // A wall clock, never a local time: local times have gaps (the spring-forward hour).
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
}

qint64 WallMsecs(const QDateTime& dt) {
    return QDateTime(dt.date(), dt.time(), Qt::UTC).toMSecsSinceEpoch();
}

} // namespace

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
    m_insertedRows.clear();
    m_rows.Reset();
}

void TRecordset::SetUpdater(std::unique_ptr<TRowUpdater> updater) {
    m_updater = std::move(updater);
}

qint64 TRecordset::RecordCount() const {
    return m_rows.Count(StoreRows());
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

TBookmark TRecordset::GetBookmark() const {
    RequireCurrentRow();
    return RowId(m_current);
}

void TRecordset::GotoBookmark(TBookmark bookmark) {
    const qint64 row = m_store ? m_rows.RowOf(bookmark, StoreRows()) : -1;
    if (row < 0)
        throw TDataError(
            QStringLiteral("Die Lesezeichen-Position ist ungültig; der Datensatz wurde gelöscht"));
    MoveTo(row);
}

TCell TRecordset::Cell(qint64 row, int column) const {
    Q_ASSERT(m_store && row >= 0 && row < RecordCount());
    const qint64 id = RowId(row);
    if (!m_changedRows.isEmpty()) {
        const auto it = m_changedRows.constFind(id);
        if (it != m_changedRows.constEnd())
            return TRowStore::CellOfRow(it->constData(), column);
    }
    if (id < 0)
        return TRowStore::CellOfRow(m_insertedRows[std::size_t(-id - 1)].constData(), column);
    return m_store->Cell(id, column);
}

QString TRecordset::Text(qint64 row, int column) const {
    return CellText(Cell(row, column), m_fields[column].Type());
}

void TRecordset::AppendText(QString& out, qint64 row, int column) const {
    const TCell cell = Cell(row, column);
    const TDataType type = m_fields[column].Type();
    // Digits and sign as the locale writes them, when it writes them in ASCII.
    static const bool asciiNumbers = TValueText::Locale().zeroDigit() == QLatin1String("0") &&
                                     TValueText::Locale().negativeSign() == QLatin1String("-");
    if (cell.Kind == TCell::Null)
        return;
    if (cell.Kind == TCell::Integer && type != TDataType::Boolean && asciiNumbers) {
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, cell.Int).ptr;
        out.append(QLatin1StringView(digits, end - digits));
        return;
    }
    if (cell.Kind == TCell::Text && !TValueText::IsCalendarType(type) && !TValueText::IsDecimalType(type)) {
        // UTF-8 never needs more UTF-16 units than it has bytes.
        const qsizetype at = out.size();
        out.resize(at + cell.Size);
        QStringDecoder decoder(QStringDecoder::Utf8);
        QChar* end = decoder.appendToBuffer(out.data() + at, QByteArrayView(cell.Data, cell.Size));
        out.truncate(end - out.constData());
        return;
    }
    out.append(CellText(cell, type));
}

QVariant TRecordset::Value(qint64 row, int column) const {
    return CellValue(Cell(row, column), m_fields[column].Type());
}

QVariantList TRecordset::RowValues(qint64 row) const {
    QVariantList values;
    for (int i = 0; i < m_fields.Count(); ++i)
        values.append(Value(row, i));
    return values;
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
    m_editValues = RowValues(m_current);
    m_editChanged = QList<bool>(m_fields.Count(), false);
    m_state = TEditState::Edit;
}

void TRecordset::Insert() {
    if (m_state != TEditState::Browse)
        Post();
    RequireUpdatable();
    const qint64 row = std::clamp<qint64>(m_current, 0, RecordCount());
    m_editValues = QVariantList(m_fields.Count());
    m_editChanged = QList<bool>(m_fields.Count(), false);
    m_insertedRows.push_back(EncodeValues(m_editValues));
    m_rows.Insert(row, -qint64(m_insertedRows.size()), StoreRows());
    m_current = row;
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

QVariantList TRecordset::ParsedEditValues() const {
    QVariantList values = m_editValues;
    for (int i = 0; i < values.size(); ++i)
        if (m_editChanged[i] && values[i].typeId() == QMetaType::QString) {
            // A column without a fixed type (SQLite) may hold bytes: they were shown as hex and
            // are read back as such, never stored as the text of their hex digits.
            const bool heldBytes = m_state == TEditState::Edit && Cell(m_current, i).Kind == TCell::Bytes;
            values[i] = ParseText(values[i].toString(), heldBytes ? TDataType::LongVarBinary : m_fields[i].Type(),
                                  m_fields[i].Name());
        }
    return values;
}

void TRecordset::DropInsertedRow() {
    const qint64 id = RowId(m_current);
    Q_ASSERT(id < 0);
    m_rows.Remove(m_current, StoreRows());
    m_insertedRows[std::size_t(-id - 1)].clear();
    if (m_current >= RecordCount())
        m_current = qMax<qint64>(0, RecordCount() - 1);
}

void TRecordset::Post() {
    if (m_state == TEditState::Browse)
        return;
    if (!Modified()) {
        // A new record the user left without a change is dropped, as if never inserted.
        if (m_state == TEditState::Insert)
            DropInsertedRow();
        m_state = TEditState::Browse;
        m_editValues.clear();
        m_editChanged.clear();
        return;
    }
    const QVariantList values = ParsedEditValues();
    const qint64 id = RowId(m_current);
    if (m_state == TEditState::Edit) {
        CheckRowCount(m_updater->Update(RowValues(m_current), values, m_editChanged));
        m_changedRows.insert(id, EncodeValues(values));
    } else {
        QByteArray row = m_updater->Insert(values, m_editChanged);
        m_insertedRows[std::size_t(-id - 1)] = row.isEmpty() ? EncodeValues(values) : row;
    }
    m_state = TEditState::Browse;
    m_editValues.clear();
    m_editChanged.clear();
}

void TRecordset::CancelUpdate() {
    if (m_state == TEditState::Insert)
        DropInsertedRow();
    m_state = TEditState::Browse;
    m_editValues.clear();
    m_editChanged.clear();
    if (m_current > RecordCount())
        m_current = RecordCount();
}

void TRecordset::Delete() {
    if (m_state != TEditState::Browse) {
        const bool inserted = m_state == TEditState::Insert;
        CancelUpdate();
        if (inserted)
            return;
    }
    RequireUpdatable();
    RequireCurrentRow();
    CheckRowCount(m_updater->Delete(RowValues(m_current)));
    const qint64 id = RowId(m_current);
    m_rows.Remove(m_current, StoreRows());
    m_changedRows.remove(id);
    if (m_current >= RecordCount())
        m_current = RecordCount() - 1 >= 0 ? RecordCount() - 1 : 0;
}
