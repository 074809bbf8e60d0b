#include "editor/NameContext.h"

#include "editor/SqlLexer.h"

#include <QSet>

namespace {

struct TToken {
    enum TKind { Name, Symbol, Other };
    TKind Kind = Other;
    QString Text; // a name unquoted; a symbol's character
    bool Quoted = false;
    int Start = 0;
    int End = 0;

    bool IsWord(const char* word) const {
        return Kind == Name && !Quoted && Text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    }
    bool IsSymbol(char16_t c) const { return Kind == Symbol && Text.size() == 1 && Text.at(0) == c; }
};

bool IsNameStart(QChar c) {
    return c.isLetter() || c == u'_';
}

bool IsNameChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'$';
}

// The end of a text in `quote` characters that starts at `from`, a doubled quote inside.
int SkipQuoted(QStringView s, int from, QChar quote, QString* inner) {
    int i = from + 1;
    while (i < s.size()) {
        if (s[i] == quote) {
            if (i + 1 < s.size() && s[i + 1] == quote) {
                if (inner)
                    inner->append(quote);
                i += 2;
                continue;
            }
            return i + 1;
        }
        if (inner)
            inner->append(s[i]);
        ++i;
    }
    return i;
}

QList<TToken> Tokens(QStringView s) {
    QList<TToken> tokens;
    int i = 0;
    const int n = int(s.size());
    while (i < n) {
        const QChar c = s[i];
        TToken t;
        t.Start = i;
        if (c.isSpace()) {
            ++i;
            continue;
        }
        if (c == u'-' && i + 1 < n && s[i + 1] == u'-') {
            while (i < n && s[i] != u'\n' && s[i] != u'\r')
                ++i;
            continue;
        }
        if (c == u'/' && i + 1 < n && s[i + 1] == u'*') {
            const int close = int(s.indexOf(u"*/", i + 2));
            i = close < 0 ? n : close + 2;
            continue;
        }
        if (c == u'\'') {
            i = SkipQuoted(s, i, c, nullptr);
        } else if (c == u'"' || c == u'`') {
            t.Kind = TToken::Name;
            t.Quoted = true;
            i = SkipQuoted(s, i, c, &t.Text);
        } else if (c == u'[') {
            t.Kind = TToken::Name;
            t.Quoted = true;
            const int close = int(s.indexOf(u']', i + 1));
            i = close < 0 ? n : close + 1;
            t.Text = s.mid(t.Start + 1, (close < 0 ? n : close) - t.Start - 1).toString();
        } else if (IsNameStart(c)) {
            t.Kind = TToken::Name;
            while (i < n && IsNameChar(s[i]))
                ++i;
            t.Text = s.mid(t.Start, i - t.Start).toString();
        } else if (c.isDigit()) {
            while (i < n && (s[i].isLetterOrNumber() || s[i] == u'.'))
                ++i;
        } else {
            t.Kind = TToken::Symbol;
            t.Text = QString(c);
            ++i;
        }
        t.End = i;
        tokens.append(t);
    }
    return tokens;
}

// Words after a table that end its reference rather than name an alias.
bool EndsReference(const TToken& t) {
    if (t.Kind != TToken::Name || t.Quoted)
        return t.Kind != TToken::Name;
    static const QSet<QString> clauseWords{
        QStringLiteral("LIMIT"),  QStringLiteral("OFFSET"),    QStringLiteral("CROSS"),
        QStringLiteral("LATERAL"), QStringLiteral("RETURNING"), QStringLiteral("EXCEPT"),
        QStringLiteral("INTERSECT"), QStringLiteral("WINDOW"),  QStringLiteral("FETCH"),
        QStringLiteral("TOP"),    QStringLiteral("ILIKE")};
    return TSqlLexer::IsReserved(t.Text) || clauseWords.contains(t.Text.toUpper());
}

bool OpensTableList(const TToken& t) {
    return t.IsWord("FROM") || t.IsWord("JOIN") || t.IsWord("INTO") || t.IsWord("UPDATE") || t.IsWord("TABLE");
}

// Reads a table reference at `i` («s.t», «t», with «[AS] alias»); the index after it.
int ReadReference(const QList<TToken>& tokens, int i, TNamePlace& place) {
    if (i >= tokens.size() || tokens[i].Kind != TToken::Name || EndsReference(tokens[i]))
        return i;
    QStringList parts{tokens[i].Text};
    ++i;
    while (i + 1 < tokens.size() && tokens[i].IsSymbol(u'.') && tokens[i].End == tokens[i + 1].Start &&
           tokens[i + 1].Kind == TToken::Name) {
        parts << tokens[i + 1].Text;
        i += 2;
    }
    const TNameRef ref{parts.size() > 1 ? parts.at(parts.size() - 2) : QString(), parts.last()};
    place.Named.append(ref);
    if (i < tokens.size() && tokens[i].IsWord("AS"))
        ++i;
    if (i < tokens.size() && tokens[i].Kind == TToken::Name && !EndsReference(tokens[i])) {
        place.Aliases.insert(tokens[i].Text.toLower(), ref);
        ++i;
    }
    return i;
}

} // namespace

TNamePlace TNameContext::At(QStringView statement, int wordStart) {
    TNamePlace place;
    const QList<TToken> tokens = Tokens(statement);
    // Whether a comma right after each token continues a FROM list.
    QList<bool> inFromList(tokens.size(), false);
    QList<bool> stack;
    bool fromList = false;
    for (int i = 0; i < tokens.size();) {
        const TToken& t = tokens[i];
        if (OpensTableList(t)) {
            fromList = t.IsWord("FROM");
            inFromList[i] = false;
            const int next = ReadReference(tokens, i + 1, place);
            for (int k = i + 1; k < next; ++k)
                inFromList[k] = fromList;
            i = qMax(next, i + 1);
            continue;
        }
        if (t.IsSymbol(u',') && fromList) {
            inFromList[i] = true;
            const int next = ReadReference(tokens, i + 1, place);
            for (int k = i + 1; k < next; ++k)
                inFromList[k] = true;
            i = qMax(next, i + 1);
            continue;
        }
        if (t.IsSymbol(u'(')) {
            stack.append(fromList);
            fromList = false;
        } else if (t.IsSymbol(u')')) {
            fromList = stack.isEmpty() ? false : stack.takeLast();
        } else if (t.Kind == TToken::Name && !t.Quoted && TSqlLexer::IsReserved(t.Text)) {
            fromList = false;
        }
        inFromList[i] = fromList;
        ++i;
    }

    // The last token before the word being typed; an opening quote of that word is part of it.
    int last = -1;
    for (int i = 0; i < tokens.size() && tokens[i].End <= wordStart; ++i)
        last = i;
    if (last >= 0 && tokens[last].Kind == TToken::Name && tokens[last].Quoted && tokens[last].End == wordStart &&
        tokens[last].Text.isEmpty())
        --last;
    if (last < 0)
        return place;
    const TToken& before = tokens[last];
    if (before.IsSymbol(u'.')) {
        QStringList qualifier;
        int k = last;
        while (k >= 1 && tokens[k].IsSymbol(u'.') && tokens[k - 1].Kind == TToken::Name &&
               tokens[k - 1].End == tokens[k].Start) {
            qualifier.prepend(tokens[k - 1].Text);
            k -= 2;
        }
        if (!qualifier.isEmpty()) {
            place.Kind = TNamePlace::Qualified;
            place.Qualifier = qualifier.mid(qMax(0, int(qualifier.size()) - 2));
        }
        return place;
    }
    if (OpensTableList(before) || (before.IsSymbol(u',') && inFromList[last]))
        place.Kind = TNamePlace::TableList;
    return place;
}

void TNameContext::StatementLines(const std::function<QString(int)>& lineAt, int lineCount, int caretLine,
                                  int* first, int* last, int reach) {
    const auto ends = [&lineAt](int line) {
        const QString text = lineAt(line);
        qsizetype end = text.size();
        while (end > 0 && text.at(end - 1).isSpace())
            --end;
        return end > 0 && text.at(end - 1) == u';';
    };
    caretLine = qBound(0, caretLine, qMax(0, lineCount - 1));
    int f = caretLine;
    while (f > 0 && caretLine - f < reach && !ends(f - 1))
        --f;
    int l = caretLine;
    while (l + 1 < lineCount && l - caretLine < reach && !ends(l))
        ++l;
    *first = f;
    *last = l;
}

QList<int> TNameContext::Filter(const QStringList& names, QStringView word) {
    QList<int> result;
    if (word.isEmpty()) {
        result.reserve(names.size());
        for (int i = 0; i < names.size(); ++i)
            result.append(i);
        return result;
    }
    QList<int> containing;
    for (int i = 0; i < names.size(); ++i) {
        const qsizetype at = QStringView(names.at(i)).indexOf(word, 0, Qt::CaseInsensitive);
        if (at == 0)
            result.append(i);
        else if (at > 0)
            containing.append(i);
    }
    result.append(containing);
    return result;
}
