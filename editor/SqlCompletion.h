#pragma once

#include <QStringList>
#include <QStringView>

// What the completion list offers and when it opens: the word at the caret and the entry
// it matches. Pure; no widgets.
class TSqlCompletion {
public:
    static const QStringList& Entries();

    // The word around column `column` of `line`: start and end (exclusive) of the run of
    // non-separators on both sides of the column. A column beyond the end gives an empty word.
    static void WordBounds(QStringView line, int column, int* start, int* end);
    static QString WordAt(QStringView line, int column);

    // The first entry beginning with `word` (ignoring case), or -1; an empty word has none.
    static int FirstMatch(QStringView word);
    // Whether the list opens by itself for `word`: some entry begins with it and the word is
    // not already that entry.
    static bool OpensFor(QStringView word);

    static bool IsSeparator(QChar c);
};
