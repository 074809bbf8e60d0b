#include "data/SqlScan.h"

namespace {

bool IsWordChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'$';
}

} // namespace

qsizetype SqlSkipQuoted(const QString& s, qsizetype pos, QChar close, bool backslashEscapes) {
    qsizetype i = pos + 1;
    while (i < s.size()) {
        if (backslashEscapes && s[i] == u'\\') {
            i += 2;
            continue;
        }
        if (s[i] == close) {
            if (i + 1 < s.size() && s[i + 1] == close) {
                i += 2;
                continue;
            }
            return i + 1;
        }
        ++i;
    }
    return s.size();
}

qsizetype SqlDollarTag(const QString& s, qsizetype pos) {
    if (pos > 0 && IsWordChar(s[pos - 1]))
        return 0;
    qsizetype i = pos + 1;
    if (i < s.size() && s[i].isDigit())
        return 0;
    while (i < s.size() && (s[i].isLetterOrNumber() || s[i] == u'_'))
        ++i;
    return i < s.size() && s[i] == u'$' ? i - pos + 1 : 0;
}

qsizetype SqlSkipComment(const QString& s, qsizetype pos) {
    if (s.mid(pos, 2) == QLatin1String("--")) {
        const qsizetype end = s.indexOf(u'\n', pos);
        return end < 0 ? s.size() : end + 1;
    }
    if (s.mid(pos, 2) == QLatin1String("/*")) {
        const qsizetype end = s.indexOf(QLatin1String("*/"), pos + 2);
        return end < 0 ? s.size() : end + 2;
    }
    return pos;
}
