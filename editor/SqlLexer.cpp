#include "editor/SqlLexer.h"

#include <array>
#include <string_view>
#include <unordered_set>

namespace {

// Sorted, lower case: looked up by binary search without allocating per word.
constexpr std::array<std::string_view, 265> reservedWords = {"active",
                                                             "add",
                                                             "after",
                                                             "all",
                                                             "alter",
                                                             "and",
                                                             "any",
                                                             "as",
                                                             "asc",
                                                             "ascending",
                                                             "at",
                                                             "auto",
                                                             "autoddl",
                                                             "avg",
                                                             "base_name",
                                                             "based",
                                                             "basename",
                                                             "before",
                                                             "begin",
                                                             "between",
                                                             "blob",
                                                             "blobedit",
                                                             "buffer",
                                                             "by",
                                                             "cache",
                                                             "cast",
                                                             "char",
                                                             "char_length",
                                                             "character",
                                                             "character_length",
                                                             "check",
                                                             "check_point_len",
                                                             "check_point_length",
                                                             "close",
                                                             "collate",
                                                             "collation",
                                                             "column",
                                                             "commit",
                                                             "commit_group_wait",
                                                             "committed",
                                                             "compiletime",
                                                             "computed",
                                                             "conditional",
                                                             "connect",
                                                             "constraint",
                                                             "containing",
                                                             "continue",
                                                             "count",
                                                             "create",
                                                             "cstring",
                                                             "current",
                                                             "cursor",
                                                             "database",
                                                             "date",
                                                             "db_key",
                                                             "debug",
                                                             "dec",
                                                             "decimal",
                                                             "declare",
                                                             "default",
                                                             "delete",
                                                             "desc",
                                                             "descending",
                                                             "describe",
                                                             "descriptor",
                                                             "disconnect",
                                                             "display",
                                                             "distinct",
                                                             "do",
                                                             "domain",
                                                             "double",
                                                             "drop",
                                                             "echo",
                                                             "edit",
                                                             "else",
                                                             "end",
                                                             "entry_point",
                                                             "escape",
                                                             "event",
                                                             "exception",
                                                             "execute",
                                                             "exists",
                                                             "exit",
                                                             "extern",
                                                             "external",
                                                             "extract",
                                                             "fetch",
                                                             "file",
                                                             "filter",
                                                             "float",
                                                             "for",
                                                             "foreign",
                                                             "found",
                                                             "from",
                                                             "full",
                                                             "function",
                                                             "gdscode",
                                                             "gen_id",
                                                             "generator",
                                                             "global",
                                                             "goto",
                                                             "grant",
                                                             "group",
                                                             "group_commit_wait_time",
                                                             "having",
                                                             "help",
                                                             "if",
                                                             "immediate",
                                                             "in",
                                                             "inactive",
                                                             "index",
                                                             "indicator",
                                                             "init",
                                                             "inner",
                                                             "input",
                                                             "input_type",
                                                             "insert",
                                                             "int",
                                                             "integer",
                                                             "into",
                                                             "is",
                                                             "isolation",
                                                             "isql",
                                                             "join",
                                                             "key",
                                                             "lc_messages",
                                                             "lc_type",
                                                             "left",
                                                             "length",
                                                             "lev",
                                                             "level",
                                                             "like",
                                                             "log_buf_size",
                                                             "log_buffer_size",
                                                             "logfile",
                                                             "long",
                                                             "manual",
                                                             "max",
                                                             "max_segment",
                                                             "maximum",
                                                             "maximum_segment",
                                                             "merge",
                                                             "message",
                                                             "min",
                                                             "minimum",
                                                             "module_name",
                                                             "names",
                                                             "national",
                                                             "natural",
                                                             "nchar",
                                                             "new",
                                                             "no",
                                                             "noauto",
                                                             "not",
                                                             "null",
                                                             "num_log_buffers",
                                                             "num_log_bufs",
                                                             "numeric",
                                                             "octet_length",
                                                             "of",
                                                             "old",
                                                             "on",
                                                             "only",
                                                             "open",
                                                             "option",
                                                             "or",
                                                             "order",
                                                             "outer",
                                                             "output",
                                                             "output_type",
                                                             "overflow",
                                                             "page",
                                                             "page_size",
                                                             "pagelength",
                                                             "pages",
                                                             "parameter",
                                                             "password",
                                                             "plan",
                                                             "position",
                                                             "post_event",
                                                             "precision",
                                                             "prepare",
                                                             "primary",
                                                             "privileges",
                                                             "procedure",
                                                             "protected",
                                                             "public",
                                                             "quit",
                                                             "raw_partitions",
                                                             "rdb",
                                                             "read",
                                                             "real",
                                                             "record_version",
                                                             "references",
                                                             "release",
                                                             "replace",
                                                             "reserv",
                                                             "reserving",
                                                             "retain",
                                                             "return",
                                                             "returning_values",
                                                             "returns",
                                                             "revoke",
                                                             "right",
                                                             "rollback",
                                                             "runtime",
                                                             "schema",
                                                             "segment",
                                                             "select",
                                                             "set",
                                                             "shadow",
                                                             "shared",
                                                             "shell",
                                                             "show",
                                                             "singular",
                                                             "size",
                                                             "smallint",
                                                             "snapshot",
                                                             "some",
                                                             "sort",
                                                             "sql",
                                                             "sqlcode",
                                                             "sqlerror",
                                                             "sqlwarning",
                                                             "stability",
                                                             "starting",
                                                             "starts",
                                                             "statement",
                                                             "static",
                                                             "statistics",
                                                             "sub_type",
                                                             "sum",
                                                             "suspend",
                                                             "table",
                                                             "term",
                                                             "terminator",
                                                             "then",
                                                             "to",
                                                             "transaction",
                                                             "translate",
                                                             "translation",
                                                             "trigger",
                                                             "trim",
                                                             "uncommitted",
                                                             "union",
                                                             "unique",
                                                             "update",
                                                             "upper",
                                                             "user",
                                                             "using",
                                                             "value",
                                                             "values",
                                                             "varchar",
                                                             "variable",
                                                             "varying",
                                                             "version",
                                                             "view",
                                                             "wait",
                                                             "when",
                                                             "whenever",
                                                             "where",
                                                             "while",
                                                             "with",
                                                             "work",
                                                             "write"};

constexpr bool sortedAndDistinct() {
    for (std::size_t i = 1; i < reservedWords.size(); ++i)
        if (!(reservedWords[i - 1] < reservedWords[i]))
            return false;
    return true;
}
static_assert(sortedAndDistinct(), "the reserved words must stay sorted and distinct, so none is missing");

bool isWordStart(char16_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool isDigit(char16_t c) {
    return c >= '0' && c <= '9';
}

bool isWordChar(char16_t c) {
    return isWordStart(c) || isDigit(c);
}

void addToken(QList<TSqlToken>* tokens, int start, int length, TTokenClass cls) {
    if (tokens && length > 0)
        tokens->append(TSqlToken{start, length, cls});
}

} // namespace

bool TSqlLexer::IsReserved(QStringView word) {
    // Colouring asks for every word of every shown line: a hash lookup without allocation.
    static const std::unordered_set<std::string_view> words(reservedWords.begin(), reservedWords.end());
    char lower[40];
    if (word.size() < 2 || word.size() >= qsizetype(sizeof lower))
        return false;
    for (qsizetype i = 0; i < word.size(); ++i) {
        const char16_t c = word[i].unicode();
        if (c > 0x7f)
            return false;
        lower[i] = char(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    }
    return words.count(std::string_view(lower, std::size_t(word.size()))) != 0;
}

const QStringList& TSqlLexer::ReservedWords() {
    static const QStringList words = [] {
        QStringList list;
        for (std::string_view w : reservedWords)
            list.append(QString::fromLatin1(w.data(), qsizetype(w.size())));
        return list;
    }();
    return words;
}

bool TSqlLexer::IsSymbol(QChar c) {
    static constexpr std::u16string_view symbols = u"#%&'()*+,-./:;<=>[\\]^{|}~@";
    return symbols.find(c.unicode()) != std::u16string_view::npos;
}

bool TSqlLexer::ScanLine(QStringView line, bool inComment, QList<TSqlToken>* tokens) {
    const int n = int(line.size());
    int i = 0;
    if (inComment) {
        const int close = int(line.indexOf(u"*/"));
        if (close < 0) {
            addToken(tokens, 0, n, TTokenClass::Comment);
            return true;
        }
        i = close + 2;
        addToken(tokens, 0, i, TTokenClass::Comment);
    }

    // Double quotes form no strings, but a "/*" standing between two of them opens no comment.
    bool afterOddQuote = false;
    while (i < n) {
        const char16_t c = line[i].unicode();
        const char16_t next = i + 1 < n ? line[i + 1].unicode() : 0;
        if (c == ' ') {
            ++i;
            continue;
        }
        if (c == '-' && next == '-') {
            addToken(tokens, i, n - i, TTokenClass::Comment);
            return false;
        }
        if (c == '/' && next == '*' && !(afterOddQuote && line.indexOf(u'"', i + 2) >= 0)) {
            const int close = int(line.indexOf(u"*/", i + 2));
            if (close < 0) {
                addToken(tokens, i, n - i, TTokenClass::Comment);
                return true;
            }
            addToken(tokens, i, close + 2 - i, TTokenClass::Comment);
            i = close + 2;
            continue;
        }
        int j = i + 1;
        TTokenClass cls = TTokenClass::Identifier;
        if (c == '\'') {
            // A doubled quote is part of the string; an unclosed string ends with the line.
            for (;;) {
                while (j < n && line[j] != u'\'')
                    ++j;
                if (j >= n)
                    break;
                if (j + 1 < n && line[j + 1] == u'\'') {
                    j += 2;
                    continue;
                }
                ++j;
                break;
            }
            cls = TTokenClass::Strings;
        } else if (isWordStart(c)) {
            while (j < n && isWordChar(line[j].unicode()))
                ++j;
            cls = tokens && IsReserved(line.mid(i, j - i)) ? TTokenClass::Reserved : TTokenClass::Identifier;
        } else if (isDigit(c)) {
            int dots = 0;
            while (j < n && (isDigit(line[j].unicode()) || line[j] == u'.')) {
                dots += line[j] == u'.';
                ++j;
            }
            cls = dots <= 1 ? TTokenClass::Number : TTokenClass::Identifier;
        } else if (c == '"') {
            afterOddQuote = !afterOddQuote;
            cls = TTokenClass::Strings;
        } else if (IsSymbol(QChar(c))) {
            cls = TTokenClass::Symbol;
        } else if (QChar::isHighSurrogate(c) && QChar::isLowSurrogate(next)) {
            j = i + 2; // one character, even outside the basic plane
        }
        addToken(tokens, i, j - i, cls);
        i = j;
    }
    return false;
}
