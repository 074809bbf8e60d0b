#include "data/odbc/OdbcBatch.h"

#include "data/SqlScan.h"

namespace {

bool IsWordChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'$';
}

bool IsTriggerStart(const QStringList& words) {
    // CREATE [TEMP|TEMPORARY] TRIGGER
    if (words.size() < 2 || words[0] != QLatin1String("CREATE"))
        return false;
    return words[1] == QLatin1String("TRIGGER") ||
           (words.size() >= 3 && words[2] == QLatin1String("TRIGGER") &&
            (words[1] == QLatin1String("TEMP") || words[1] == QLatin1String("TEMPORARY")));
}

} // namespace

QStringList OdbcSplitStatements(const QString& s) {
    QStringList statements;
    qsizetype start = 0;
    qsizetype i = 0;
    const qsizetype n = s.size();
    QStringList firstWords; // upper case, up to three, to recognise a trigger
    bool trigger = false;
    int depth = 0; // BEGIN/CASE ... END nesting inside a trigger body

    bool code = false; // the statement has more than comments

    auto finish = [&](qsizetype end) {
        const QString statement = s.mid(start, end - start).trimmed();
        if (code)
            statements.append(statement);
        code = false;
        start = end + 1;
        firstWords.clear();
        trigger = false;
        depth = 0;
    };

    while (i < n) {
        const QChar c = s[i];
        const bool comment = (c == u'-' || c == u'/') && i + 1 < n && s[i + 1] == (c == u'-' ? u'-' : u'*');
        if (!comment && !c.isSpace() && c != u';')
            code = true;
        if (c == u'\'' || c == u'"' || c == u'`') {
            i = SqlSkipQuoted(s, i, c);
        } else if (c == u'[') {
            i = SqlSkipQuoted(s, i, u']');
        } else if (c == u'-' && i + 1 < n && s[i + 1] == u'-') {
            while (i < n && s[i] != u'\n' && s[i] != u'\r')
                ++i;
        } else if (c == u'/' && i + 1 < n && s[i + 1] == u'*') {
            const qsizetype end = s.indexOf(QLatin1String("*/"), i + 2);
            i = end < 0 ? n : end + 2;
        } else if (c == u'$' && SqlDollarTag(s, i) > 0) {
            const qsizetype len = SqlDollarTag(s, i);
            const qsizetype end = s.indexOf(s.mid(i, len), i + len);
            i = end < 0 ? n : end + len;
        } else if (c == u';') {
            if (depth <= 0)
                finish(i);
            ++i;
        } else if (IsWordChar(c)) {
            qsizetype j = i;
            while (j < n && IsWordChar(s[j]))
                ++j;
            const QString word = s.mid(i, j - i).toUpper();
            if (firstWords.size() < 3) {
                firstWords.append(word);
                trigger = IsTriggerStart(firstWords);
            }
            if (trigger) {
                if (word == QLatin1String("BEGIN") || word == QLatin1String("CASE"))
                    ++depth;
                else if (word == QLatin1String("END"))
                    --depth;
            }
            i = j;
        } else {
            ++i;
        }
    }
    finish(n);
    return statements;
}

bool OdbcChangesRows(const QString& statement) {
    static const QStringList words = {QStringLiteral("INSERT"),  QStringLiteral("UPDATE"),
                                      QStringLiteral("DELETE"),  QStringLiteral("MERGE"),
                                      QStringLiteral("REPLACE"), QStringLiteral("UPSERT"),
                                      QStringLiteral("WITH")};
    QString text = statement.trimmed();
    // Leading comments do not count.
    for (;;) {
        if (text.startsWith(QLatin1String("--"))) {
            const qsizetype end = text.indexOf(u'\n');
            text = end < 0 ? QString() : text.mid(end + 1).trimmed();
        } else if (text.startsWith(QLatin1String("/*"))) {
            const qsizetype end = text.indexOf(QLatin1String("*/"));
            text = end < 0 ? QString() : text.mid(end + 2).trimmed();
        } else {
            break;
        }
    }
    qsizetype end = 0;
    while (end < text.size() && IsWordChar(text[end]))
        ++end;
    return words.contains(text.left(end), Qt::CaseInsensitive);
}

int OdbcTableReferences(const QString& s, const QString& table) {
    int count = 0;
    const qsizetype n = s.size();
    qsizetype i = 0;
    auto followedByDot = [&](qsizetype pos) {
        while (pos < n && s[pos].isSpace())
            ++pos;
        return pos < n && s[pos] == u'.';
    };
    while (i < n) {
        const QChar c = s[i];
        if (c == u'\'') {
            i = SqlSkipQuoted(s, i, c);
        } else if (c == u'"' || c == u'`' || c == u'[') {
            const qsizetype end = SqlSkipQuoted(s, i, c == u'[' ? u']' : c);
            const QString name = s.mid(i + 1, end - i - 2);
            if (name.compare(table, Qt::CaseInsensitive) == 0 && !followedByDot(end))
                ++count;
            i = end;
        } else if (c == u'-' && i + 1 < n && s[i + 1] == u'-') {
            while (i < n && s[i] != u'\n')
                ++i;
        } else if (c == u'/' && i + 1 < n && s[i + 1] == u'*') {
            const qsizetype end = s.indexOf(QLatin1String("*/"), i + 2);
            i = end < 0 ? n : end + 2;
        } else if (IsWordChar(c)) {
            qsizetype j = i;
            while (j < n && IsWordChar(s[j]))
                ++j;
            if (s.mid(i, j - i).compare(table, Qt::CaseInsensitive) == 0 && !followedByDot(j))
                ++count;
            i = j;
        } else {
            ++i;
        }
    }
    return count;
}
