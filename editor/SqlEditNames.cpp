// The editor's names list (names of the open database at the caret), the rule that keeps the
// phrase list from rewriting a word typed in full, and the mark of a failed statement's place.
#include "editor/CompletionList.h"
#include "editor/NameContext.h"
#include "editor/SqlCompletion.h"
#include "editor/SqlEdit.h"
#include "editor/SqlLexer.h"

namespace {

constexpr int ErrorIndicator = 9;

QString ColumnsKey(const QString& schema, const QString& table) {
    return schema + QChar(0x1f) + table;
}

} // namespace

void TSqlEdit::SetNames(const TSqlNames& names) {
    m_names = names;
    if (!m_names.Quote)
        m_names.Quote = [](const QString& name) { return name; };
    m_namesKnown = true;
    m_columns.clear();
    m_columnsAsked.clear();
    m_knownNames.clear();
    for (const TSqlTable& table : std::as_const(m_names.Tables))
        m_knownNames.insert(table.Name.toLower());
    for (const QString& schema : std::as_const(m_names.Schemas))
        m_knownNames.insert(schema.toLower());
    RetryPendingNames();
}

void TSqlEdit::SetColumns(const QString& schema, const QString& table, const QStringList& columns) {
    m_columns.insert(ColumnsKey(schema, table), columns);
    for (const QString& column : columns)
        m_knownNames.insert(column.toLower());
    RetryPendingNames();
}

void TSqlEdit::RetryPendingNames() {
    if (!m_namesPending || !hasFocus() || SendScintilla(SCI_GETCURRENTPOS) != m_pendingPosition)
        return;
    m_namesPending = false;
    ShowNames(m_pendingAutomatic);
}

TNamePlace TSqlEdit::PlaceAtCaret(int* wordStart, int* wordEnd) const {
    const int caretLine = CaretLine();
    const QString caretText = LineText(caretLine);
    const int column = qMin(CaretColumn(), int(caretText.size()));
    int start = column;
    int end = column;
    TSqlCompletion::WordBounds(caretText, column, &start, &end);
    if (wordStart)
        *wordStart = start;
    if (wordEnd)
        *wordEnd = end;
    int first = 0;
    int last = 0;
    TNameContext::StatementLines([this](int line) { return LineText(line); }, LineCount(), caretLine, &first,
                                 &last);
    QString statement;
    int offset = 0;
    for (int line = first; line <= last; ++line) {
        if (line == caretLine)
            offset = int(statement.size()) + start;
        statement += (line == caretLine ? caretText : LineText(line)) + u'\n';
    }
    return TNameContext::At(statement, offset);
}

const TSqlTable* TSqlEdit::FindTable(const QString& schema, const QString& name) const {
    const TSqlTable* found = nullptr;
    for (const TSqlTable& table : m_names.Tables) {
        if (table.Name.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (!schema.isEmpty() && table.Schema.compare(schema, Qt::CaseInsensitive) != 0)
            continue;
        // The spelling as written wins, then the table a bare name finds.
        const bool exact = table.Name == name && (schema.isEmpty() || table.Schema == schema);
        const bool bare = table.Sql == m_names.Quote(table.Name);
        if (!found || (exact && found->Name != name) || (bare && found->Sql != m_names.Quote(found->Name)))
            found = &table;
    }
    return found;
}

bool TSqlEdit::AfterKnownQualifier() const {
    if (!m_namesKnown)
        return false;
    const TNamePlace place = PlaceAtCaret();
    if (place.Kind != TNamePlace::Qualified)
        return false;
    const QStringList& q = place.Qualifier;
    if (q.size() == 2)
        return FindTable(q.at(0), q.at(1)) != nullptr;
    if (place.Aliases.contains(q.at(0).toLower()) || FindTable({}, q.at(0)))
        return true;
    for (const QString& schema : m_names.Schemas)
        if (schema.compare(q.at(0), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

void TSqlEdit::ShowNames(bool automatic) {
    if (!m_namesKnown) {
        m_namesPending = true;
        m_pendingAutomatic = automatic;
        m_pendingPosition = long(SendScintilla(SCI_GETCURRENTPOS));
        return;
    }
    const TNamePlace place = PlaceAtCaret();
    QStringList texts;
    QStringList sql;
    QList<const TSqlTable*> missing;
    QSet<QString> columnsShown;
    const auto addColumns = [&](const TSqlTable* table) {
        if (!table)
            return;
        const auto it = m_columns.constFind(ColumnsKey(table->Schema, table->Name));
        if (it == m_columns.constEnd()) {
            missing.append(table);
            return;
        }
        for (const QString& column : *it) {
            if (columnsShown.contains(column))
                continue;
            columnsShown.insert(column);
            texts.append(column);
            sql.append(m_names.Quote(column));
        }
    };
    const auto addTables = [&](bool withSchemas) {
        for (const TSqlTable& table : std::as_const(m_names.Tables)) {
            texts.append(table.Name);
            sql.append(table.Sql);
        }
        if (!withSchemas)
            return;
        for (const QString& schema : std::as_const(m_names.Schemas)) {
            texts.append(schema);
            sql.append(m_names.Quote(schema));
        }
    };
    switch (place.Kind) {
    case TNamePlace::Qualified: {
        const QStringList& q = place.Qualifier;
        if (q.size() == 2) {
            addColumns(FindTable(q.at(0), q.at(1)));
            break;
        }
        if (const auto alias = place.Aliases.constFind(q.at(0).toLower()); alias != place.Aliases.constEnd()) {
            addColumns(FindTable(alias->Schema, alias->Name));
            break;
        }
        if (const TSqlTable* table = FindTable({}, q.at(0))) {
            addColumns(table);
            break;
        }
        for (const TSqlTable& table : std::as_const(m_names.Tables)) {
            if (table.Schema.compare(q.at(0), Qt::CaseInsensitive) == 0) {
                texts.append(table.Name);
                sql.append(m_names.Quote(table.Name));
            }
        }
        break;
    }
    case TNamePlace::TableList:
        addTables(true);
        break;
    case TNamePlace::Anywhere: {
        QSet<const TSqlTable*> seen;
        for (const TNameRef& ref : place.Named) {
            const TSqlTable* table = FindTable(ref.Schema, ref.Name);
            if (table && !seen.contains(table)) {
                seen.insert(table);
                addColumns(table);
            }
        }
        addTables(false);
        break;
    }
    }
    if (!missing.isEmpty()) {
        for (const TSqlTable* table : std::as_const(missing)) {
            const QString key = ColumnsKey(table->Schema, table->Name);
            if (!m_columnsAsked.contains(key)) {
                m_columnsAsked.insert(key);
                emit ColumnsWanted(table->Schema, table->Name);
            }
        }
        m_namesPending = true;
        m_pendingAutomatic = automatic;
        m_pendingPosition = long(SendScintilla(SCI_GETCURRENTPOS));
        return;
    }
    if (texts.isEmpty())
        return;
    m_nameTexts = texts;
    m_nameSql = sql;
    m_completion->hide();
    FilterNames();
    if (m_nameRows.isEmpty())
        return;
    OpenListAtCaret(m_nameList);
}

void TSqlEdit::FilterNames() {
    const QString line = LineText(CaretLine());
    const int column = qMin(CaretColumn(), int(line.size()));
    int start = column;
    int end = column;
    TSqlCompletion::WordBounds(line, column, &start, &end);
    m_nameRows = TNameContext::Filter(m_nameTexts, QStringView(line).mid(start, column - start));
    QStringList shown;
    shown.reserve(m_nameRows.size());
    for (const int row : std::as_const(m_nameRows))
        shown.append(m_nameTexts.at(row));
    m_nameList->SetEntries(shown);
}

void TSqlEdit::AcceptName() {
    const int row = m_nameList->SelectedRow();
    m_nameList->hide();
    if (row < 0 || row >= m_nameRows.size())
        return;
    const QString text = m_nameSql.at(m_nameRows.at(row));
    const int line = CaretLine();
    const QString lineText = LineText(line);
    int start = CaretColumn();
    int end = start;
    TSqlCompletion::WordBounds(lineText, start, &start, &end);
    // A name begun with a quote is replaced with its quotes: the entry brings its own.
    if (start > 0 && lineText.at(start - 1) == u'"') {
        --start;
        if (end < lineText.size() && lineText.at(end) == u'"')
            ++end;
    }
    beginUndoAction();
    if (end > start) {
        SendScintilla(SCI_SETSELECTION, PositionOf(line, end), PositionOf(line, start));
        SendScintilla(SCI_REPLACESEL, "");
    }
    InsertText(text);
    endUndoAction();
}

bool TSqlEdit::IsKnownName(const QString& word) const {
    return m_knownNames.contains(word.toLower()) || PlaceAtCaret().Aliases.contains(word.toLower());
}

void TSqlEdit::CloseListBeforeCharacter() {
    if (m_nameList->isVisible()) {
        AcceptName();
        return;
    }
    // A list that opened by itself may have opened on a word the user typed in full, such as
    // «in» or an alias: that word stays as typed.
    if (m_listAutomatic) {
        const QString word = TSqlCompletion::WordAt(LineText(CaretLine()), CaretColumn());
        if (word.size() < 3 || TSqlLexer::IsReserved(word) || IsKnownName(word)) {
            m_completion->hide();
            return;
        }
    }
    AcceptCompletion();
}

void TSqlEdit::MarkError(int line, int column) {
    ClearErrorMark();
    SetCaret(line, column);
    const QString text = LineText(CaretLine());
    int start = qMin(column, int(text.size()));
    int end = start;
    TSqlCompletion::WordBounds(text, start, &start, &end);
    // A qualified name («k.Nmae») is marked as a whole.
    while (end + 1 < text.size() && text.at(end) == u'.' && !TSqlCompletion::IsSeparator(text.at(end + 1))) {
        int next = end + 1;
        TSqlCompletion::WordBounds(text, next, &next, &end);
    }
    if (end == start && start < text.size())
        ++end; // a symbol: the one character
    if (end > start) {
        SendScintilla(SCI_INDICSETSTYLE, ErrorIndicator, long(INDIC_SQUIGGLE));
        SendScintilla(SCI_INDICSETFORE, ErrorIndicator, QColor(Qt::red));
        SendScintilla(SCI_SETINDICATORCURRENT, ErrorIndicator);
        const long from = PositionOf(CaretLine(), start);
        SendScintilla(SCI_INDICATORFILLRANGE, from, PositionOf(CaretLine(), end) - from);
    }
    m_errorMarked = true;
    m_errorTextLength = long(SendScintilla(SCI_GETTEXTLENGTH));
}

void TSqlEdit::ClearErrorMark() {
    if (!m_errorMarked)
        return;
    m_errorMarked = false;
    SendScintilla(SCI_SETINDICATORCURRENT, ErrorIndicator);
    SendScintilla(SCI_INDICATORCLEARRANGE, 0L, long(SendScintilla(SCI_GETTEXTLENGTH)));
}
