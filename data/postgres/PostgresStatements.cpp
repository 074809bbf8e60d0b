#include "data/postgres/PostgresStatements.h"

#include "data/SqlScan.h"

namespace {

bool IsNameChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'$';
}

class TSplitter {
public:
    explicit TSplitter(const QString& sql)
        : m_s(sql) {}

    QList<TPgStatement> Run() {
        const qsizetype n = m_s.size();
        qsizetype i = 0;
        while (i < n) {
            const QChar c = m_s[i];
            if (c == u'\'') {
                const bool escapes =
                    i > 0 && (m_s[i - 1] == u'E' || m_s[i - 1] == u'e') && (i < 2 || !IsNameChar(m_s[i - 2]));
                i = Copy(i, SqlSkipQuoted(m_s, i, u'\'', escapes));
            } else if (c == u'"') {
                i = Copy(i, SqlSkipQuoted(m_s, i, u'"', false));
            } else if (c == u'-' && i + 1 < n && m_s[i + 1] == u'-') {
                qsizetype end = i;
                while (end < n && m_s[end] != u'\n' && m_s[end] != u'\r')
                    ++end;
                i = Copy(i, end);
            } else if (c == u'/' && i + 1 < n && m_s[i + 1] == u'*') {
                i = Copy(i, SkipBlockComment(i));
            } else if (c == u'$' && (i == 0 || !IsNameChar(m_s[i - 1]))) {
                i = Dollar(i);
            } else if (c.isLetter() || c == u'_') {
                qsizetype end = i;
                while (end < n && IsNameChar(m_s[end]))
                    ++end;
                Word(m_s.mid(i, end - i));
                i = Copy(i, end);
            } else if (c == u'(') {
                ++m_parens;
                i = Copy(i, i + 1);
            } else if (c == u')') {
                if (m_parens > 0)
                    --m_parens;
                i = Copy(i, i + 1);
            } else if (c == u';' && m_parens == 0 && m_blocks == 0) {
                Finish();
                ++i;
            } else {
                i = Copy(i, i + 1);
            }
        }
        Finish();
        return m_statements;
    }

private:
    qsizetype Copy(qsizetype from, qsizetype to) {
        m_current += QStringView(m_s).mid(from, to - from);
        return to;
    }

    qsizetype SkipBlockComment(qsizetype i) {
        int depth = 0;
        while (i < m_s.size()) {
            if (m_s[i] == u'/' && i + 1 < m_s.size() && m_s[i + 1] == u'*') {
                ++depth;
                i += 2;
            } else if (m_s[i] == u'*' && i + 1 < m_s.size() && m_s[i + 1] == u'/') {
                i += 2;
                if (--depth == 0)
                    return i;
            } else {
                ++i;
            }
        }
        return i;
    }

    // "$n" is a parameter marker, "$tag$" opens a dollar-quoted text.
    qsizetype Dollar(qsizetype i) {
        qsizetype j = i + 1;
        if (j < m_s.size() && m_s[j].isDigit()) {
            while (j < m_s.size() && m_s[j].isDigit())
                ++j;
            const int number = QStringView(m_s).mid(i + 1, j - i - 1).toInt();
            int local = int(m_parameters.indexOf(number));
            if (local < 0) {
                m_parameters.append(number);
                local = int(m_parameters.size()) - 1;
            }
            m_current += u'$' + QString::number(local + 1);
            return j;
        }
        while (j < m_s.size() && (m_s[j].isLetterOrNumber() || m_s[j] == u'_'))
            ++j;
        if (j >= m_s.size() || m_s[j] != u'$')
            return Copy(i, i + 1);
        const QString tag = m_s.mid(i, j - i + 1);
        const qsizetype end = m_s.indexOf(tag, j + 1);
        return Copy(i, end < 0 ? m_s.size() : end + tag.size());
    }

    void Word(const QString& word) {
        if (m_firstWord.isEmpty()) {
            m_firstWord = word.toUpper();
            return;
        }
        if (m_firstWord != QLatin1String("CREATE"))
            return;
        // SQL-standard function bodies: BEGIN ATOMIC … END, with CASE … END inside.
        if (word.compare(QLatin1String("BEGIN"), Qt::CaseInsensitive) == 0 ||
            (m_blocks > 0 && word.compare(QLatin1String("CASE"), Qt::CaseInsensitive) == 0))
            ++m_blocks;
        else if (m_blocks > 0 && word.compare(QLatin1String("END"), Qt::CaseInsensitive) == 0)
            --m_blocks;
    }

    void Finish() {
        if (!m_current.trimmed().isEmpty())
            m_statements.append({m_current.trimmed(), m_parameters});
        m_current.clear();
        m_parameters.clear();
        m_firstWord.clear();
        m_parens = 0;
        m_blocks = 0;
    }

    const QString& m_s;
    QList<TPgStatement> m_statements;
    QString m_current;
    QList<int> m_parameters;
    QString m_firstWord;
    int m_parens = 0;
    int m_blocks = 0;
};

} // namespace

QList<TPgStatement> SplitPgStatements(const QString& sql) {
    return TSplitter(sql).Run();
}
