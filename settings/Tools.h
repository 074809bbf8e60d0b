#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One entry of a split text: the text and whether it stood in quotes before a separator.
struct TSplitEntry {
    QString Text;
    int Quoted = 0;
};

// Small stateless text routines shared by the catalogue, the query helper and the grid.
// Reentrant; usable from any thread.
class TTools {
public:
    TTools() = delete;

    // Quote-aware split at a separator of one or more characters. A quote opens a quoted
    // entry only as the first character of an entry; doubled quotes inside stand for one.
    static QList<TSplitEntry> Split(const QString& text, const QString& separator, bool ignoreQuotes);
    // The names of the "{name}" placeholders in order of appearance, duplicates included.
    static QStringList ExtractPlaceholders(const QString& text);
    // Index of the first value equal to text with ASCII letters folded to upper case, or -1.
    static int IndexOfText(const QString& text, const QStringList& values);
    static qint64 Min(qint64 a, qint64 b);
};
