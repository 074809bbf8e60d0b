#include "editor/EditKeys.h"

namespace {

bool isBlankChar(QChar c) {
    return c.unicode() <= ' ';
}

} // namespace

bool TEditKeys::IsBlank(QStringView text) {
    for (QChar c : text)
        if (!isBlankChar(c))
            return false;
    return true;
}

int TEditKeys::Indentation(QStringView text) {
    int n = 0;
    while (n < text.size() && text[n] == u' ')
        ++n;
    return n;
}

int TEditKeys::NextTabStop(int column) {
    return column < 2 ? 2 : (column / 2 + 1) * 2;
}

int TEditKeys::PreviousTabStop(int column) {
    return column <= 2 ? 0 : (column - 1) / 2 * 2;
}

int TEditKeys::TabTarget(const TLineAt& lineAt, int line, int column, int lookBack) {
    for (int l = line - 1; l >= 0 && l >= line - lookBack; --l) {
        const QString text = lineAt(l);
        for (int c = column + 1; c < text.size(); ++c)
            if (!isBlankChar(text[c]) && isBlankChar(text[c - 1]))
                return c;
    }
    return NextTabStop(column);
}

int TEditKeys::EnterIndent(const TLineAt& lineAt, int line, int column) {
    const QString current = lineAt(line);
    const QStringView left = QStringView(current).left(qMin<qsizetype>(column, current.size()));
    if (!IsBlank(left))
        return Indentation(left);
    for (int l = line - 1; l >= 0; --l) {
        const QString text = lineAt(l);
        if (!IsBlank(text))
            return Indentation(text);
    }
    return 0;
}

int TEditKeys::BackspaceTarget(const TLineAt& lineAt, int line, int column, int lookBack) {
    const QString current = lineAt(line);
    if (column <= 0)
        return -1;
    const QStringView left = QStringView(current).left(qMin<qsizetype>(column, current.size()));
    for (QChar c : left)
        if (c != u' ')
            return -1;
    if (column < current.size() && current[column] != u' ')
        return -1;
    for (int l = line - 1; l >= 0 && l >= line - lookBack; --l) {
        const QString text = lineAt(l);
        if (IsBlank(text))
            continue;
        const int indent = Indentation(text);
        if (indent < column)
            return indent;
    }
    return 0;
}
