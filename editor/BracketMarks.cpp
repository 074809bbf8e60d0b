#include "editor/BracketMarks.h"

#include "editor/SqlEdit.h"

#include <string_view>

namespace {

constexpr std::u16string_view openers = u"([{";
constexpr std::u16string_view closers = u")]}";

} // namespace

bool TBracketMarks::FindPartner(const TLineAt& lineAt, int lineCount, int line, int column, int* partnerLine,
                                int* partnerColumn) {
    const QString start = lineAt(line);
    if (column < 0 || column >= start.size())
        return false;
    const char16_t c = start[column].unicode();
    std::size_t kind = openers.find(c);
    const bool forward = kind != std::u16string_view::npos;
    if (!forward)
        kind = closers.find(c);
    if (kind == std::u16string_view::npos)
        return false;
    const QChar self(c);
    const QChar partner(forward ? closers[kind] : openers[kind]);
    const int step = forward ? 1 : -1;
    const int lastLine =
        forward ? qMin(lineCount - 1, line + MaxLineDistance) : qMax(0, line - MaxLineDistance);

    int depth = 0;
    int col = column + step;
    for (int l = line;; l += step) {
        const QString text = l == line ? start : lineAt(l);
        if (l != line)
            col = forward ? 0 : int(text.size()) - 1;
        for (; col >= 0 && col < text.size(); col += step) {
            if (text[col] == self) {
                ++depth;
            } else if (text[col] == partner) {
                if (depth == 0) {
                    *partnerLine = l;
                    *partnerColumn = col;
                    return true;
                }
                --depth;
            }
        }
        if (l == lastLine)
            return false;
    }
}

TBracketMarks::TBracketMarks(TSqlEdit* editor)
    : m_editor(editor) {
    m_editor->SendScintilla(QsciScintillaBase::SCI_INDICSETSTYLE, Indicator,
                            long(QsciScintillaBase::INDIC_STRAIGHTBOX));
    m_editor->SendScintilla(QsciScintillaBase::SCI_INDICSETUNDER, Indicator, 1L);
    m_editor->SendScintilla(QsciScintillaBase::SCI_INDICSETFORE, Indicator, QColor(0xC0, 0xC0, 0xC0));
    // A frame only: the inside keeps the text's own colours. (QScintilla's colour setters
    // would take the alpha from the colour and fill the box.)
    m_editor->SendScintilla(QsciScintillaBase::SCI_INDICSETALPHA, Indicator, 0L);
    m_editor->SendScintilla(QsciScintillaBase::SCI_INDICSETOUTLINEALPHA, Indicator, 255L);
}

void TBracketMarks::Clear() {
    m_editor->SendScintilla(QsciScintillaBase::SCI_SETINDICATORCURRENT, Indicator);
    const long length = m_editor->SendScintilla(QsciScintillaBase::SCI_GETLENGTH);
    for (long& mark : m_marks) {
        if (mark >= 0 && mark < length)
            m_editor->SendScintilla(QsciScintillaBase::SCI_INDICATORCLEARRANGE, mark, 1L);
        mark = -1;
    }
}

void TBracketMarks::Update() {
    Clear();
    const int line = m_editor->CaretLine();
    const int column = m_editor->CaretColumn();
    int otherLine = 0;
    int otherColumn = 0;
    const auto lineAt = [this](int l) {
        return m_editor->LineText(l);
    };
    if (!FindPartner(lineAt, m_editor->LineCount(), line, column, &otherLine, &otherColumn))
        return;
    m_editor->SendScintilla(QsciScintillaBase::SCI_SETINDICATORCURRENT, Indicator);
    m_marks[0] = m_editor->PositionOf(line, column);
    m_marks[1] = m_editor->PositionOf(otherLine, otherColumn);
    for (long mark : m_marks)
        m_editor->SendScintilla(QsciScintillaBase::SCI_INDICATORFILLRANGE, mark, 1L);
}

bool TBracketMarks::IsMarked(int line, int column) const {
    const long pos = m_editor->PositionOf(line, column);
    return m_editor->SendScintilla(QsciScintillaBase::SCI_INDICATORVALUEAT, Indicator, pos) != 0;
}
