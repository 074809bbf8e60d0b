#pragma once

#include <functional>

#include <QString>

// Where the editing keys of the SQL editor move the caret. Pure: the text comes through a
// line accessor, columns are character columns and may lie beyond the end of a line.
class TEditKeys {
public:
    using TLineAt = std::function<QString(int line)>;

    // Tab: the next column right of `column` where a word (a run of non-blanks) begins on
    // the nearest of the `lookBack` lines above that has one, else the next tab stop.
    static int TabTarget(const TLineAt& lineAt, int line, int column, int lookBack);
    // Tab stops are the columns 2, 4, 6, ... (0-based).
    static int NextTabStop(int column);
    // Shift+Tab: the previous tab stop, or column 0.
    static int PreviousTabStop(int column);
    // Enter splitting `line` at `column`: the indentation of the new line, taken from the
    // text left of the split or else the nearest line above that is not blank.
    static int EnterIndent(const TLineAt& lineAt, int line, int column);
    // Backspace: the column to go back to when only blanks stand left of the caret and a
    // blank or the end of the line is at it (the nearest smaller indentation of the
    // `lookBack` non-blank lines above, else 0); -1 when Backspace deletes one character.
    static int BackspaceTarget(const TLineAt& lineAt, int line, int column, int lookBack);

    static bool IsBlank(QStringView text);
    static int Indentation(QStringView text);
};
