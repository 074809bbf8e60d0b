// Pointing at the place in the editor where a statement that ran from it failed.
#include "workspace/Work.h"

#include "data/DataError.h"
#include "editor/SqlEdit.h"
#include "workspace/SqlExpression.h"

bool TFrameWork::PlaceInText(const QString& text, const QString& statement, qsizetype position, int* line,
                             int* column) {
    const qsizetype start = statement.isEmpty() ? 0 : text.indexOf(statement);
    if (start < 0 || position < 0)
        return false;
    const qsizetype target = qMin(start + position, text.size());
    int l = 0;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < target; ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            ++i;
        ++l;
        lineStart = i + 1;
    }
    *line = l;
    *column = int(qMax<qsizetype>(0, target - lineStart));
    return true;
}

void TFrameWork::PointAtError(const std::exception& error, const QString& text, const TSqlExpression& expression,
                              bool batch) {
    const auto* dataError = dynamic_cast<const TDataError*>(&error);
    if (m_runLine < 0 || !dataError || dataError->Position() < 0)
        return;
    int line = 0;
    int column = 0;
    if (batch) {
        // A statement of a batch is the text's lines without the blank ones and the separator.
        const int index = m_failedStatement;
        if (index < 0 || index >= expression.StatementCount() ||
            !PlaceInText(expression.Statement(index), dataError->Statement(), dataError->Position(), &line,
                         &column))
            return;
        const QList<int>& lines = expression.StatementLines(index);
        if (line >= lines.size())
            return;
        line = lines.at(line);
    } else if (!PlaceInText(text, dataError->Statement(), dataError->Position(), &line,
                            &column)) {
        return;
    }
    // The run text's first line starts where the run started in the editor: a selection may
    // begin in the middle of a line.
    if (line == 0)
        column += m_runColumn;
    MemSql->MarkError(m_runLine + line, column);
}
