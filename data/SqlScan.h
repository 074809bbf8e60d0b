#pragma once

#include <QString>

// Small scanners over SQL text shared by the parameter finder and the statement splitters.

// The position after a quoted run that starts at pos (the opening quote); a doubled closing
// quote stays inside, and so does a backslash-escaped character when backslashEscapes is set.
// An unterminated run ends at the end of the text.
qsizetype SqlSkipQuoted(const QString& s, qsizetype pos, QChar close, bool backslashEscapes = false);

// The length of a dollar-quote opener "$tag$" at pos, or 0 when none starts there ("$1" is a
// positional marker, and a "$" inside a word opens nothing).
qsizetype SqlDollarTag(const QString& s, qsizetype pos);

// The position after a comment ("--" to the end of the line, "/* … */") that starts at pos, or
// pos when none starts there. An unterminated comment ends at the end of the text.
qsizetype SqlSkipComment(const QString& s, qsizetype pos);
