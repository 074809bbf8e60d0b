#include "settings/Tools.h"

#include "settings/Error.h"

namespace {

bool MatchesAt(const QString& text, qsizetype pos, QStringView what) {
    return QStringView(text).mid(pos).startsWith(what);
}

QChar AsciiUpper(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') ? QChar(char16_t(u - (u'a' - u'A'))) : c;
}

} // namespace

QList<TSplitEntry> TTools::Split(const QString& text, const QString& separator, bool ignoreQuotes) {
    QList<TSplitEntry> result;
    if (separator.isEmpty()) {
        result.append({text, 0});
        return result;
    }

    enum class State { Between, Plain, InSingle, InDouble, AfterQuote };
    static const QString single = QStringLiteral("'");
    static const QString singleTwice = QStringLiteral("''");
    static const QString dbl = QStringLiteral("\"");
    static const QString dblTwice = QStringLiteral("\"\"");

    State state = State::Between;
    QString current;
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype step = 1;
        switch (state) {
        case State::Between:
            current.clear();
            if (MatchesAt(text, pos, separator)) {
                step = separator.size();
                result.append({QString(), 0});
            } else if (!ignoreQuotes && MatchesAt(text, pos, single)) {
                state = State::InSingle;
            } else if (!ignoreQuotes && MatchesAt(text, pos, dbl)) {
                state = State::InDouble;
            } else {
                current = text.at(pos);
                state = State::Plain;
            }
            break;
        case State::Plain:
            if (MatchesAt(text, pos, separator)) {
                step = separator.size();
                result.append({current, 0});
                state = State::Between;
            } else {
                current += text.at(pos);
            }
            break;
        case State::InSingle:
        case State::InDouble: {
            const QString& quote = state == State::InSingle ? single : dbl;
            const QString& twice = state == State::InSingle ? singleTwice : dblTwice;
            if (MatchesAt(text, pos, twice)) {
                step = 2;
                current += quote;
            } else if (MatchesAt(text, pos, quote)) {
                state = State::AfterQuote;
            } else {
                current += text.at(pos);
            }
            break;
        }
        case State::AfterQuote:
            if (MatchesAt(text, pos, separator)) {
                step = separator.size();
                result.append({current, 1});
                state = State::Between;
            }
            break;
        }
        if (step == 0)
            throw TError(QStringLiteral("Internal error in procedure Split: Step=0"));
        pos += step;
    }
    if (state != State::Between)
        result.append({current, 0});
    return result;
}

QStringList TTools::ExtractPlaceholders(const QString& text) {
    QStringList names;
    qsizetype pos = 0;
    // The last character is never examined: a "{" there cannot have a "}" after it anyway.
    while (pos < text.size() - 1) {
        if (text.at(pos) == u'{') {
            const qsizetype close = text.indexOf(u'}', pos + 1);
            if (close >= 0) {
                names.append(text.mid(pos + 1, close - pos - 1));
                pos = close + 1;
                continue;
            }
        }
        ++pos;
    }
    return names;
}

int TTools::IndexOfText(const QString& text, const QStringList& values) {
    for (int i = 0; i < values.size(); ++i) {
        const QString& value = values.at(i);
        if (value.size() != text.size())
            continue;
        bool equal = true;
        for (qsizetype k = 0; k < text.size() && equal; ++k)
            equal = AsciiUpper(text.at(k)) == AsciiUpper(value.at(k));
        if (equal)
            return i;
    }
    return -1;
}

qint64 TTools::Min(qint64 a, qint64 b) {
    return a < b ? a : b;
}
