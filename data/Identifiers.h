#pragma once

#include <QSet>
#include <QString>

// When a name read from a database has to be quoted in SQL so that the database reads it as
// that very name: case folding of unquoted names, characters outside the plain ones, words
// the dialect reserves. Pure text rules; any thread.

// How a database treats the letters of an unquoted name.
enum class TIdentifierCase {
    Lower,      // folded to lower case (PostgreSQL)
    Upper,      // folded to upper case (standard SQL, several ODBC drivers)
    Insensitive // kept or compared without regard to case (SQLite, most MySQL setups)
};

// Whether the name, written unquoted, would not read as itself: empty, not a plain name
// (a letter or "_", then letters, digits and "_"), a letter the folding would change, or a
// reserved word (reserved holds upper-case words).
bool IdentifierNeedsQuotes(const QString& name, TIdentifierCase folding, const QSet<QString>& reserved);

// Reserved words, upper case: those of standard SQL that ODBC lists as reserved, and the
// words PostgreSQL does not accept as a table or column name.
const QSet<QString>& SqlReservedWords();
const QSet<QString>& PostgresReservedWords();
