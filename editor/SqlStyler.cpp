#include "editor/SqlStyler.h"

#include "editor/SqlLexer.h"

#include <Qsci/qsciscintilla.h>

#include <QVarLengthArray>

namespace {

constexpr int styleCount = int(TTokenClass::Identifier) + 1;

int styleOf(TTokenClass c) {
    return int(c);
}

} // namespace

TSqlStyler::TSqlStyler(const QFont& font, const QColor& text, const QColor& background, QObject* parent)
    : QsciLexerCustom(parent) {
    setDefaultFont(font);
    setDefaultColor(text);
    setDefaultPaper(background);
    for (int s = 0; s < styleCount; ++s) {
        QFont f = font;
        f.setItalic(s == styleOf(TTokenClass::Comment));
        f.setBold(s == styleOf(TTokenClass::Reserved));
        setFont(f, s);
        setPaper(background, s);
        setColor(text, s);
    }
    setColor(QColor(0x80, 0x80, 0x80), styleOf(TTokenClass::Comment));
    setColor(QColor(0x80, 0x00, 0x80), styleOf(TTokenClass::Strings));
    setColor(QColor(0x00, 0x00, 0x80), styleOf(TTokenClass::Number));
    setColor(QColor(0x00, 0x00, 0xFF), styleOf(TTokenClass::Symbol));
}

QString TSqlStyler::description(int style) const {
    // QScintilla counts the styles by asking until the description is empty.
    static const char* const names[styleCount] = {"PlainText", "Comment",  "Strings",   "Number",
                                                  "Symbol",    "Reserved", "Identifier"};
    return style >= 0 && style < styleCount ? QString::fromLatin1(names[style]) : QString();
}

void TSqlStyler::styleText(int start, int end) {
    QsciScintilla* ed = editor();
    if (!ed || end <= start)
        return;
    const long firstLine = ed->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION, start);
    const long lastLine = ed->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION, end - 1);
    bool inComment =
        firstLine > 0 && (ed->SendScintilla(QsciScintillaBase::SCI_GETLINESTATE, firstLine - 1) & 1);
    const long from = ed->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, firstLine);
    const long to = ed->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, lastLine + 1);
    // A direct view of the text: no copy of the range is made.
    const char* bytes = reinterpret_cast<const char*>(
        ed->SendScintilla(QsciScintillaBase::SCI_GETRANGEPOINTER, from, to - from));
    if (!bytes)
        return;

    startStyling(int(from));
    QList<TSqlToken> tokens;
    QString text;
    QVarLengthArray<int, 256> byteOf; // UTF-8 offset of each UTF-16 unit of a non-ASCII line
    long lineStart = from;
    for (long line = firstLine; line <= lastLine; ++line) {
        const long next =
            line == lastLine ? to : ed->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, line + 1);
        const long lineEnd = ed->SendScintilla(QsciScintillaBase::SCI_GETLINEENDPOSITION, line);
        const char* p = bytes + (lineStart - from);
        const int length = int(lineEnd - lineStart);
        bool ascii = true;
        for (int i = 0; i < length && ascii; ++i)
            ascii = static_cast<unsigned char>(p[i]) < 0x80;
        text = ascii ? QString::fromLatin1(p, length) : QString::fromUtf8(p, length);

        tokens.clear();
        inComment = TSqlLexer::ScanLine(text, inComment, &tokens);
        if (!ascii) {
            byteOf.resize(text.size() + 1);
            byteOf[0] = 0;
            for (qsizetype i = 0; i < text.size(); ++i) {
                const char16_t c = text[i].unicode();
                // A surrogate pair takes four bytes: two for each half.
                byteOf[i + 1] = byteOf[i] + (c < 0x80 ? 1 : c < 0x800 ? 2 : QChar::isSurrogate(c) ? 2 : 3);
            }
        }
        auto toByte = [&](int units) {
            return ascii ? units : byteOf[units];
        };

        // Touching tokens of one class share one run; blanks stay plain.
        int styled = 0; // bytes of this line styled so far
        int runStyle = styleOf(TTokenClass::PlainText);
        int runEnd = 0;
        auto flush = [&] {
            if (runEnd > styled) {
                setStyling(runEnd - styled, runStyle);
                styled = runEnd;
            }
        };
        for (const TSqlToken& t : tokens) {
            const int tokenStart = toByte(t.Start);
            const int style = styleOf(t.Class);
            if (tokenStart > runEnd) {
                if (runStyle != styleOf(TTokenClass::PlainText)) {
                    flush();
                    runStyle = styleOf(TTokenClass::PlainText);
                }
                runEnd = tokenStart;
            }
            if (style != runStyle) {
                flush();
                runStyle = style;
            }
            runEnd = toByte(t.Start + t.Length);
        }
        flush();
        if (next - lineStart > styled)
            setStyling(int(next - lineStart - styled), styleOf(TTokenClass::PlainText));
        ed->SendScintilla(QsciScintillaBase::SCI_SETLINESTATE, line, long(inComment ? 1 : 0));
        lineStart = next;
    }
}
