#pragma once

#include <QString>
#include <QStringList>

// The statements of one SQL text as the user wrote it: a statement ends at a line whose last
// non-blank characters are the separator, or at the last line. The rules look at lines
// only (not at quotes, comments or brackets), so a separator at the end of a line inside a
// string literal ends a statement too. Plain value type; any thread.
class TSqlExpression {
public:
    TSqlExpression(const QString& text, const QString& separator);

    int StatementCount() const { return int(m_statements.size()); }
    const QString& Statement(int index) const { return m_statements.at(index); }
    const QStringList& Statements() const { return m_statements; }
    const QString& Separator() const { return m_separator; }
    // The lines of the text (0-based, as SplitLines counts them) that make up a statement,
    // one for each of its lines.
    const QList<int>& StatementLines(int index) const { return m_lines.at(index); }

    // Not a select: it names "delete", "update" or "insert", or does not name "select"
    // (plain substrings, letters A-Z folded, so "updates" counts as "update").
    static bool IsNonSelect(const QString& text);
    // At least one statement, and every one is a non-select statement.
    bool AllNonSelect() const;

    // The steps of cutting, public for their tests.
    static QStringList SplitLines(const QString& text);
    static bool EndsWithSeparator(const QString& line, const QString& separator);
    static QString StripSeparator(const QString& line, const QString& separator);
    static QString AppendLine(const QString& pending, const QString& line);
    static bool IsBlank(const QString& line);
    static QString TrimRight(const QString& text);

private:
    void Parse(const QString& text);

    QStringList m_statements;
    QList<QList<int>> m_lines;
    QString m_separator;
};
