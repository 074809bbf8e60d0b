#include "export/ExportWriter.h"

#include "data/Recordset.h"
#include "export/ExportFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace {

using TOut = std::vector<char>;

constexpr qint64 MsecsPerDay = 86400000;

void Put(TOut& out, const char* text) {
    out.insert(out.end(), text, text + std::strlen(text));
}

void Put(TOut& out, const char* data, qsizetype size) {
    out.insert(out.end(), data, data + size);
}

void Put(TOut& out, const QByteArray& bytes) {
    Put(out, bytes.constData(), bytes.size());
}

void PutInt(TOut& out, qint64 value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.insert(out.end(), digits, end);
}

// Zero-padded, for dates and times.
void PutDigits(TOut& out, qint64 value, int width) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    for (int pad = width - int(end - digits); pad > 0; --pad)
        out.push_back('0');
    out.insert(out.end(), digits, end);
}

bool IsBooleanType(TDataType type) {
    return type == TDataType::Boolean;
}

bool IsDecimalText(TDataType type) {
    return type == TDataType::Numeric || type == TDataType::Decimal || type == TDataType::Currency;
}

// The grammar of a JSON number, which SQL accepts as a numeric literal as well.
bool IsJsonNumber(const char* p, qsizetype size) {
    const char* end = p + size;
    if (p < end && *p == '-')
        ++p;
    if (p == end || *p < '0' || *p > '9')
        return false;
    if (*p == '0')
        ++p;
    else
        while (p < end && *p >= '0' && *p <= '9')
            ++p;
    if (p < end && *p == '.') {
        ++p;
        if (p == end || *p < '0' || *p > '9')
            return false;
        while (p < end && *p >= '0' && *p <= '9')
            ++p;
    }
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p < end && (*p == '+' || *p == '-'))
            ++p;
        if (p == end || *p < '0' || *p > '9')
            return false;
        while (p < end && *p >= '0' && *p <= '9')
            ++p;
    }
    return p == end;
}

// Shortest text that reads back as the same double; NaN and the infinities as PostgreSQL
// spells them. With point, a whole number keeps ".0" so that it still reads as a real.
void PutReal(TOut& out, double value, bool withPoint) {
    if (std::isnan(value)) {
        Put(out, "NaN");
        return;
    }
    if (std::isinf(value)) {
        Put(out, value < 0 ? "-Infinity" : "Infinity");
        return;
    }
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.insert(out.end(), digits, end);
    if (withPoint && std::find_if(digits, end, [](char c) { return c == '.' || c == 'e'; }) == end)
        Put(out, ".0");
}

// Proleptic Gregorian calendar from days since 1970-01-01 (years before 1 are BC, without a
// year 0, as PostgreSQL writes them).
void PutDate(TOut& out, qint64 days) {
    const qint64 z = days + 719468;
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const qint64 doe = z - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    const qint64 day = doy - (153 * mp + 2) / 5 + 1;
    const qint64 month = mp < 10 ? mp + 3 : mp - 9;
    const qint64 year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    PutDigits(out, year > 0 ? year : 1 - year, 4);
    out.push_back('-');
    PutDigits(out, month, 2);
    out.push_back('-');
    PutDigits(out, day, 2);
    if (year <= 0)
        Put(out, " BC");
}

void PutTime(TOut& out, qint64 msecs) {
    PutDigits(out, msecs / 3600000, 2);
    out.push_back(':');
    PutDigits(out, msecs / 60000 % 60, 2);
    out.push_back(':');
    PutDigits(out, msecs / 1000 % 60, 2);
    if (int ms = int(msecs % 1000)) {
        out.push_back('.');
        int width = 3;
        while (ms % 10 == 0) {
            ms /= 10;
            --width;
        }
        PutDigits(out, ms, width);
    }
}

void PutTimestamp(TOut& out, qint64 msecs, char separator) {
    qint64 days = msecs / MsecsPerDay;
    qint64 rest = msecs % MsecsPerDay;
    if (rest < 0) {
        rest += MsecsPerDay;
        --days;
    }
    // The era goes after the time, as PostgreSQL writes it.
    const size_t at = out.size();
    PutDate(out, days);
    const bool bc = out.size() >= at + 3 && std::memcmp(out.data() + out.size() - 3, " BC", 3) == 0;
    if (bc)
        out.resize(out.size() - 3);
    out.push_back(separator);
    PutTime(out, rest);
    if (bc)
        Put(out, " BC");
}

void PutHex(TOut& out, const char* data, qsizetype size) {
    static const char digits[] = "0123456789abcdef";
    const size_t at = out.size();
    out.resize(at + size_t(size) * 2);
    char* p = out.data() + at;
    for (qsizetype i = 0; i < size; ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        *p++ = digits[b >> 4];
        *p++ = digits[b & 15];
    }
}

void PutBase64(TOut& out, const char* data, qsizetype size) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    qsizetype i = 0;
    for (; i + 2 < size; i += 3) {
        const unsigned v = unsigned(p[i]) << 16 | unsigned(p[i + 1]) << 8 | p[i + 2];
        const char group[4] = {alphabet[v >> 18], alphabet[(v >> 12) & 63], alphabet[(v >> 6) & 63],
                               alphabet[v & 63]};
        out.insert(out.end(), group, group + 4);
    }
    if (i < size) {
        const unsigned v = unsigned(p[i]) << 16 | (i + 1 < size ? unsigned(p[i + 1]) << 8 : 0u);
        out.push_back(alphabet[v >> 18]);
        out.push_back(alphabet[(v >> 12) & 63]);
        out.push_back(i + 1 < size ? alphabet[(v >> 6) & 63] : '=');
        out.push_back('=');
    }
}

// A CSV field: quoted when it holds the separator, a quote, CR or LF, or begins or ends with
// a blank; quotes inside doubled. The empty text is "" (an empty field stands for null).
void PutCsvField(TOut& out, const char* p, qsizetype size, char separator) {
    bool quote = size == 0 || p[0] == ' ' || p[0] == '\t' || p[size - 1] == ' ' || p[size - 1] == '\t';
    for (qsizetype i = 0; i < size && !quote; ++i) {
        const char c = p[i];
        quote = c == separator || c == '"' || c == '\r' || c == '\n';
    }
    if (!quote) {
        Put(out, p, size);
        return;
    }
    out.push_back('"');
    for (qsizetype i = 0; i < size; ++i) {
        if (p[i] == '"')
            out.push_back('"');
        out.push_back(p[i]);
    }
    out.push_back('"');
}

void PutJsonString(TOut& out, const char* p, qsizetype size) {
    static const char hex[] = "0123456789abcdef";
    out.push_back('"');
    qsizetype plain = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        if (c >= 0x20 && c != '"' && c != '\\')
            continue;
        Put(out, p + plain, i - plain);
        plain = i + 1;
        switch (c) {
        case '"':
            Put(out, "\\\"");
            break;
        case '\\':
            Put(out, "\\\\");
            break;
        case '\n':
            Put(out, "\\n");
            break;
        case '\r':
            Put(out, "\\r");
            break;
        case '\t':
            Put(out, "\\t");
            break;
        default: {
            const char escape[6] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15]};
            out.insert(out.end(), escape, escape + 6);
        }
        }
    }
    Put(out, p + plain, size - plain);
    out.push_back('"');
}

void PutSqlString(TOut& out, const char* p, qsizetype size, const TSqlDialect& dialect) {
    out.push_back('\'');
    for (qsizetype i = 0; i < size; ++i) {
        if (p[i] == '\r' && dialect.SpliceCarriageReturn) {
            Put(out, "' || char(13) || '");
            continue;
        }
        if (p[i] == '\'' || (dialect.BackslashEscapes && p[i] == '\\'))
            out.push_back(p[i]);
        out.push_back(p[i]);
    }
    out.push_back('\'');
}

// A value in a scratch buffer, for the formats that wrap it (quotes, escapes).
void PutPlain(TOut& out, const TCell& cell, TDataType type, char timestampSeparator) {
    switch (cell.Kind) {
    case TCell::Null:
        break;
    case TCell::Integer:
        if (IsBooleanType(type))
            Put(out, cell.Int ? "true" : "false");
        else
            PutInt(out, cell.Int);
        break;
    case TCell::Float:
        PutReal(out, cell.Real, false);
        break;
    case TCell::Text:
        Put(out, cell.Data, cell.Size);
        break;
    case TCell::Bytes:
        Put(out, "\\x");
        PutHex(out, cell.Data, cell.Size);
        break;
    case TCell::Date:
        PutDate(out, cell.Int);
        break;
    case TCell::Time:
        PutTime(out, cell.Int);
        break;
    case TCell::Timestamp:
        PutTimestamp(out, cell.Int, timestampSeparator);
        break;
    }
}

} // namespace

TExportWriter::TExportWriter(const TRecordset& recordset, TExportOptions options)
    : m_recordset(recordset), m_options(std::move(options)), m_rows(recordset.RecordCount()) {
    const TFields& fields = recordset.Fields();
    for (int i = 0; i < fields.Count(); ++i) {
        m_types.append(fields[i].Type());
        m_names.append(fields[i].Name());
        TOut key;
        const QByteArray name = fields[i].Name().toUtf8();
        PutJsonString(key, name.constData(), name.size());
        key.push_back(':');
        m_jsonKeys.append(QByteArray(key.data(), qsizetype(key.size())));
    }
    m_sqlPrefix = QByteArrayLiteral("INSERT INTO ") + m_options.SqlTable.toUtf8() + QByteArrayLiteral(" (") +
                  m_options.SqlFieldNames.join(QStringLiteral(", ")).toUtf8() + QByteArrayLiteral(") VALUES (");
}

void TExportWriter::AppendValue(TOut& out, const TCell& cell, int column) const {
    const TDataType type = m_types.at(column);
    switch (m_options.Format) {
    case TExportFormat::Csv: {
        if (cell.Kind == TCell::Text) {
            PutCsvField(out, cell.Data, cell.Size, ',');
        } else {
            // No other kind writes a character that needs quotes.
            PutPlain(out, cell, type, ' ');
        }
        return;
    }
    case TExportFormat::SpreadsheetCsv: {
        if (cell.Kind == TCell::Null)
            return;
        const QByteArray text = TRecordset::CellText(cell, type).toUtf8();
        PutCsvField(out, text.constData(), text.size(), ';');
        return;
    }
    case TExportFormat::Json:
        switch (cell.Kind) {
        case TCell::Null:
            Put(out, "null");
            return;
        case TCell::Integer:
            PutPlain(out, cell, type, 'T');
            return;
        case TCell::Float:
            if (std::isfinite(cell.Real)) {
                PutReal(out, cell.Real, true);
            } else {
                out.push_back('"');
                PutReal(out, cell.Real, true);
                out.push_back('"');
            }
            return;
        case TCell::Text:
            if (IsDecimalText(type) && IsJsonNumber(cell.Data, cell.Size))
                Put(out, cell.Data, cell.Size);
            else
                PutJsonString(out, cell.Data, cell.Size);
            return;
        case TCell::Bytes:
            out.push_back('"');
            PutBase64(out, cell.Data, cell.Size);
            out.push_back('"');
            return;
        default:
            out.push_back('"');
            PutPlain(out, cell, type, 'T');
            out.push_back('"');
            return;
        }
    case TExportFormat::Sql:
        switch (cell.Kind) {
        case TCell::Null:
            Put(out, "NULL");
            return;
        case TCell::Integer:
            if (IsBooleanType(type))
                Put(out, cell.Int ? "TRUE" : "FALSE");
            else
                PutInt(out, cell.Int);
            return;
        case TCell::Float:
            if (std::isfinite(cell.Real)) {
                PutReal(out, cell.Real, true);
            } else if (m_options.Dialect.QuotedSpecialFloats) {
                out.push_back('\'');
                PutReal(out, cell.Real, true);
                out.push_back('\'');
            } else {
                Put(out, std::isnan(cell.Real) ? "NULL" : cell.Real < 0 ? "-9e999" : "9e999");
            }
            return;
        case TCell::Text:
            if (IsDecimalText(type) && IsJsonNumber(cell.Data, cell.Size))
                Put(out, cell.Data, cell.Size);
            else
                PutSqlString(out, cell.Data, cell.Size, m_options.Dialect);
            return;
        case TCell::Bytes:
            switch (m_options.Dialect.Binary) {
            case TSqlDialect::TBinary::XQuote:
                Put(out, "X'");
                PutHex(out, cell.Data, cell.Size);
                out.push_back('\'');
                return;
            case TSqlDialect::TBinary::PostgresHex:
                Put(out, "'\\x");
                PutHex(out, cell.Data, cell.Size);
                out.push_back('\'');
                return;
            case TSqlDialect::TBinary::ZeroX:
                Put(out, "0x");
                PutHex(out, cell.Data, cell.Size);
                return;
            }
            return;
        default:
            out.push_back('\'');
            PutPlain(out, cell, type, ' ');
            out.push_back('\'');
            return;
        }
    }
}

void TExportWriter::AppendHeader(TOut& out) const {
    switch (m_options.Format) {
    case TExportFormat::SpreadsheetCsv:
        Put(out, "\xEF\xBB\xBF");
        [[fallthrough]];
    case TExportFormat::Csv: {
        const char separator = m_options.Format == TExportFormat::Csv ? ',' : ';';
        for (int i = 0; i < m_names.size(); ++i) {
            if (i > 0)
                out.push_back(separator);
            const QByteArray name = m_names.at(i).toUtf8();
            PutCsvField(out, name.constData(), name.size(), separator);
        }
        Put(out, "\r\n");
        return;
    }
    case TExportFormat::Json:
        out.push_back('[');
        return;
    case TExportFormat::Sql:
        return;
    }
}

void TExportWriter::AppendRow(TOut& out, qint64 row) const {
    const int columns = int(m_types.size());
    switch (m_options.Format) {
    case TExportFormat::Csv:
    case TExportFormat::SpreadsheetCsv: {
        const char separator = m_options.Format == TExportFormat::Csv ? ',' : ';';
        for (int i = 0; i < columns; ++i) {
            if (i > 0)
                out.push_back(separator);
            AppendValue(out, m_recordset.Cell(row, i), i);
        }
        Put(out, "\r\n");
        return;
    }
    case TExportFormat::Json:
        Put(out, row > 0 ? ",\n{" : "\n{");
        for (int i = 0; i < columns; ++i) {
            if (i > 0)
                out.push_back(',');
            Put(out, m_jsonKeys.at(i));
            AppendValue(out, m_recordset.Cell(row, i), i);
        }
        out.push_back('}');
        return;
    case TExportFormat::Sql:
        Put(out, m_sqlPrefix);
        for (int i = 0; i < columns; ++i) {
            if (i > 0)
                Put(out, ", ");
            AppendValue(out, m_recordset.Cell(row, i), i);
        }
        Put(out, ");\n");
        return;
    }
}

bool TExportWriter::Write(TExportFile& file, const std::atomic<bool>& stop, std::atomic<qint64>& written) const {
    AppendHeader(file.Buffer());
    for (qint64 row = 0; row < m_rows; ++row) {
        if (stop.load(std::memory_order_relaxed))
            return false;
        AppendRow(file.Buffer(), row);
        if (file.FlushIfFull())
            m_recordset.ReleaseSpilledPages();
        written.store(row + 1, std::memory_order_relaxed);
    }
    if (m_options.Format == TExportFormat::Json)
        Put(file.Buffer(), m_rows > 0 ? "\n]\n" : "]\n");
    return true;
}
