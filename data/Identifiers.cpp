#include "data/Identifiers.h"

namespace {

QSet<QString> WordSet(const char* words) {
    QSet<QString> set;
    for (const QString& word : QString::fromLatin1(words).split(u' ', Qt::SkipEmptyParts))
        set.insert(word.toUpper());
    return set;
}

} // namespace

bool IdentifierNeedsQuotes(const QString& name, TIdentifierCase folding, const QSet<QString>& reserved) {
    if (name.isEmpty())
        return true;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        const bool plain = c == u'_' || c.isLetter() || (i > 0 && c.isDigit());
        if (!plain)
            return true;
        if (folding == TIdentifierCase::Lower && c != c.toLower())
            return true;
        if (folding == TIdentifierCase::Upper && c != c.toUpper())
            return true;
    }
    return reserved.contains(name.toUpper());
}

const QSet<QString>& SqlReservedWords() {
    static const QSet<QString> words = WordSet(
        "absolute action add all allocate alter and any are as asc assertion at authorization avg begin "
        "between bit bit_length both by cascade cascaded case cast catalog char char_length character "
        "character_length check close coalesce collate collation column commit connect connection "
        "constraint constraints continue convert corresponding count create cross current current_date "
        "current_time current_timestamp current_user cursor date day deallocate dec decimal declare "
        "default deferrable deferred delete desc describe descriptor diagnostics disconnect distinct "
        "domain double drop else end escape except exception exec execute exists external extract "
        "false fetch first float for foreign found from full get global go goto grant group having hour "
        "identity immediate in include index indicator initially inner input insensitive insert int "
        "integer intersect interval into is isolation join key language last leading left level like "
        "limit local lower match max min minute module month names national natural nchar next no none "
        "not null nullif numeric octet_length of on only open option or order outer output overlaps pad "
        "partial position precision prepare preserve primary prior privileges procedure public read real "
        "references relative restrict revoke right rollback rows schema scroll second section select "
        "session session_user set size smallint some space sql sqlcode sqlerror sqlstate substring sum "
        "system_user table temporary then time timestamp timezone_hour timezone_minute to trailing "
        "transaction translate translation trim true union unique unknown update upper usage user using "
        "value values varchar varying view when whenever where with work write year zone");
    return words;
}

const QSet<QString>& PostgresReservedWords() {
    // Reserved words and those that may name a type or function only (pg_get_keywords()
    // categories R and T).
    static const QSet<QString> words = WordSet(
        "all analyse analyze and any array as asc asymmetric authorization binary both case cast check "
        "collate collation column concurrently constraint create cross current_catalog current_date "
        "current_role current_schema current_time current_timestamp current_user default deferrable desc "
        "distinct do else end except false fetch for foreign freeze from full grant group having ilike in "
        "initially inner intersect into is isnull join lateral leading left like limit localtime "
        "localtimestamp natural not notnull null offset on only or order outer overlaps placing primary "
        "references returning right select session_user similar some symmetric table tablesample then to "
        "trailing true union unique user using variadic verbose when where window with");
    return words;
}
