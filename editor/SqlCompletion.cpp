#include "editor/SqlCompletion.h"

#include <string_view>

const QStringList& TSqlCompletion::Entries() {
    static const QStringList entries = {QStringLiteral("SELECT"),   QStringLiteral("FROM"),
                                        QStringLiteral("WHERE"),    QStringLiteral("ORDER BY"),
                                        QStringLiteral("GROUP BY"), QStringLiteral("HAVING"),
                                        QStringLiteral("INSERT"),   QStringLiteral("UPDATE")};
    return entries;
}

bool TSqlCompletion::IsSeparator(QChar c) {
    static constexpr std::u16string_view separators = u" \r\n\"#%'()*+,-./:;<=>[\\]{}";
    return separators.find(c.unicode()) != std::u16string_view::npos;
}

void TSqlCompletion::WordBounds(QStringView line, int column, int* start, int* end) {
    if (column < 0 || column > line.size()) {
        *start = *end = column;
        return;
    }
    int s = column;
    while (s > 0 && !IsSeparator(line[s - 1]))
        --s;
    int e = column;
    while (e < line.size() && !IsSeparator(line[e]))
        ++e;
    *start = s;
    *end = e;
}

QString TSqlCompletion::WordAt(QStringView line, int column) {
    int s = 0;
    int e = 0;
    WordBounds(line, column, &s, &e);
    return line.mid(s, e - s).toString();
}

int TSqlCompletion::FirstMatch(QStringView word) {
    if (word.isEmpty())
        return -1;
    const QStringList& entries = Entries();
    for (int i = 0; i < entries.size(); ++i)
        if (QStringView(entries[i]).startsWith(word, Qt::CaseInsensitive))
            return i;
    return -1;
}

bool TSqlCompletion::OpensFor(QStringView word) {
    const int match = FirstMatch(word);
    return match >= 0 && QStringView(Entries()[match]).compare(word.trimmed(), Qt::CaseInsensitive) != 0;
}
