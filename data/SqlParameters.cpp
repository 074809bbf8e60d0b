#include "data/SqlParameters.h"

#include "data/DataError.h"
#include "data/Query.h"
#include "data/SqlScan.h"

namespace {

bool IsNameStart(QChar c) {
    return c.isLetter() || c == u'_';
}

bool IsNameChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_';
}

} // namespace

QList<TSqlParameters::TOccurrence> TSqlParameters::Find(const QString& s) {
    QList<TOccurrence> found;
    qsizetype i = 0;
    const qsizetype n = s.size();
    while (i < n) {
        const QChar c = s[i];
        if (c == u'\'') {
            const bool escapes =
                i > 0 && (s[i - 1] == u'E' || s[i - 1] == u'e') && (i < 2 || !IsNameChar(s[i - 2]));
            i = SqlSkipQuoted(s, i, u'\'', escapes);
        } else if (c == u'"') {
            i = SqlSkipQuoted(s, i, u'"', false);
        } else if (c == u'`') {
            i = SqlSkipQuoted(s, i, u'`', false);
        } else if (c == u'-' && i + 1 < n && s[i + 1] == u'-') {
            while (i < n && s[i] != u'\n' && s[i] != u'\r')
                ++i;
        } else if (c == u'/' && i + 1 < n && s[i + 1] == u'*') {
            const qsizetype end = s.indexOf(QLatin1String("*/"), i + 2);
            i = end < 0 ? n : end + 2;
        } else if (c == u'$') {
            const qsizetype len = SqlDollarTag(s, i);
            if (len == 0) {
                ++i;
                continue;
            }
            const qsizetype end = s.indexOf(s.mid(i, len), i + len);
            i = end < 0 ? n : end + len;
        } else if (c == u':') {
            if (i + 1 < n && s[i + 1] == u':') {
                i += 2; // a cast
                continue;
            }
            if (i + 1 < n && IsNameStart(s[i + 1])) {
                qsizetype j = i + 2;
                while (j < n && IsNameChar(s[j]))
                    ++j;
                found.append({i, j - i, s.mid(i + 1, j - i - 1)});
                i = j;
                continue;
            }
            ++i;
        } else {
            ++i;
        }
    }
    return found;
}

QStringList TSqlParameters::Names(const QString& sql) {
    QStringList names;
    for (const TOccurrence& o : Find(sql))
        if (!names.contains(o.Name, Qt::CaseInsensitive))
            names.append(o.Name);
    return names;
}

void TSqlParameters::RequireNoNul(const QString& sql) {
    if (const qsizetype at = sql.indexOf(QChar(0)); at >= 0)
        throw TDataError(QStringLiteral("Der Befehlstext enthält an Stelle %1 ein Nullzeichen (U+0000) und wird "
                                        "nicht ausgeführt")
                             .arg(at + 1));
}

TStatement TSqlParameters::Bind(const QString& sql, const TParameters& parameters,
                                const std::function<QString(int)>& marker) {
    TStatement statement;
    qsizetype last = 0;
    int n = 0;
    for (const TOccurrence& o : Find(sql)) {
        statement.Sql += QStringView(sql).mid(last, o.Start - last);
        statement.Sql += marker(++n);
        last = o.Start + o.Length;
        QVariant value;
        for (int k = 0; k < parameters.Count(); ++k)
            if (parameters[k].Name.compare(o.Name, Qt::CaseInsensitive) == 0) {
                value = parameters[k].Value;
                break;
            }
        statement.Values.append(value);
    }
    statement.Sql += QStringView(sql).mid(last);
    return statement;
}
