#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <functional>

// A table as a statement names it: schema (may be empty) and name, unquoted.
struct TNameRef {
    QString Schema;
    QString Name;
    bool operator==(const TNameRef&) const = default;
};

// What fits at the caret of a statement for the names list, read from the statement's own
// text: the kind of place, the names before a dot, the tables the statement names and the
// aliases it gives them. Pure; any thread.
struct TNamePlace {
    enum TKind { Anywhere, TableList, Qualified };
    TKind Kind = Anywhere;
    // For Qualified: the names before the dot, "k" of «k.» or "s", "t" of «s.t.».
    QStringList Qualifier;
    QList<TNameRef> Named;
    // By alias in lower case.
    QHash<QString, TNameRef> Aliases;
};

class TNameContext {
public:
    // The place at offset `caret` of `statement`, whose word being typed starts at `wordStart`.
    static TNamePlace At(QStringView statement, int wordStart);

    // The lines of the statement around `caretLine`: from the line after the nearest line above
    // that ends with ";" to the first line from the caret's on that does (at most `reach` lines
    // either way).
    static void StatementLines(const std::function<QString(int)>& lineAt, int lineCount, int caretLine,
                               int* first, int* last, int reach = 1000);

    // The entries of `names` containing `word` without regard to case: those beginning with it
    // first, each group in the order of `names`. An empty word keeps them all.
    static QList<int> Filter(const QStringList& names, QStringView word);
};
