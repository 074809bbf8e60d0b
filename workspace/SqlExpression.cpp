#include "workspace/SqlExpression.h"

namespace {

bool IsBlankChar(QChar c) {
    return c.unicode() <= 0x20;
}

const QString CrLf = QStringLiteral("\r\n");

} // namespace

TSqlExpression::TSqlExpression(const QString& text, const QString& separator)
    : m_separator(separator) {
    Parse(text);
}

QStringList TSqlExpression::SplitLines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.mid(start, i - start));
        if (c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

QString TSqlExpression::TrimRight(const QString& text) {
    qsizetype end = text.size();
    while (end > 0 && IsBlankChar(text.at(end - 1)))
        --end;
    return text.left(end);
}

bool TSqlExpression::IsBlank(const QString& line) {
    for (QChar c : line)
        if (!IsBlankChar(c))
            return false;
    return true;
}

bool TSqlExpression::EndsWithSeparator(const QString& line, const QString& separator) {
    const QString trimmed = TrimRight(line);
    return !separator.isEmpty() && trimmed.size() >= separator.size() && trimmed.endsWith(separator);
}

QString TSqlExpression::StripSeparator(const QString& line, const QString& separator) {
    const QString trimmed = TrimRight(line);
    if (EndsWithSeparator(trimmed, separator))
        return trimmed.left(trimmed.size() - separator.size());
    return trimmed;
}

QString TSqlExpression::AppendLine(const QString& pending, const QString& line) {
    if (IsBlank(line))
        return pending;
    return pending.isEmpty() ? line : pending + CrLf + line;
}

// An empty pending text at a closing line is dropped: otherwise a text that ends in a blank
// line (the editor's usually does) would add an empty statement behind a select, and a
// single select would be refused as several queries.
void TSqlExpression::Parse(const QString& text) {
    const QStringList lines = SplitLines(text);
    QString pending;
    QList<int> pendingLines;
    for (int i = 0; i < lines.size(); ++i) {
        const QString& line = lines.at(i);
        const bool closing = EndsWithSeparator(line, m_separator) || i == lines.size() - 1;
        const QString piece = closing ? StripSeparator(line, m_separator) : line;
        if (!IsBlank(piece))
            pendingLines.append(i);
        pending = AppendLine(pending, piece);
        if (!closing)
            continue;
        if (!pending.isEmpty()) {
            m_statements.append(pending);
            m_lines.append(pendingLines);
        }
        pending.clear();
        pendingLines.clear();
    }
}

bool TSqlExpression::IsNonSelect(const QString& text) {
    QString folded = text;
    for (QChar& c : folded)
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + 32);
    const auto has = [&folded](const char* word) {
        return folded.contains(QLatin1String(word));
    };
    return has("delete") || has("update") || has("insert") || !has("select");
}

bool TSqlExpression::AllNonSelect() const {
    if (m_statements.isEmpty())
        return false;
    for (const QString& statement : m_statements)
        if (!IsNonSelect(statement))
            return false;
    return true;
}
