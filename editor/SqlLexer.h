#pragma once

#include <QList>
#include <QStringList>
#include <QStringView>

// The token classes of the SQL editor's colouring.
enum class TTokenClass { PlainText, Comment, Strings, Number, Symbol, Reserved, Identifier };

struct TSqlToken {
    int Start = 0; // in UTF-16 code units of the line
    int Length = 0;
    TTokenClass Class = TTokenClass::PlainText;

    bool operator==(const TSqlToken&) const = default;
};

// Splits one line of SQL into classed tokens. Pure and widget-free: the only state carried
// from line to line is whether a line starts inside a block comment, so colouring can
// restart at any line whose start state is known. Lives on whatever thread calls it.
class TSqlLexer {
public:
    // Reads `line` starting inside a block comment when `inComment` is set. Appends the
    // tokens to `tokens` when given (blanks are not tokens) and returns whether the
    // following line starts inside a block comment.
    static bool ScanLine(QStringView line, bool inComment, QList<TSqlToken>* tokens = nullptr);

    static bool IsReserved(QStringView word);
    static const QStringList& ReservedWords();
    static bool IsSymbol(QChar c);
};
