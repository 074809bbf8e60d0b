#include "editor/SqlStyler.h"

#include "editor/SqlLexer.h"

#include <Qsci/qsciscintilla.h>

#include <QVarLengthArray>

#include <algorithm>
#include <cmath>
#include <cstring>

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
    setColor(ReadableOn(QColor(0x80, 0x80, 0x80), background), styleOf(TTokenClass::Comment));
    setColor(ReadableOn(QColor(0x80, 0x00, 0x80), background), styleOf(TTokenClass::Strings));
    setColor(ReadableOn(QColor(0x00, 0x00, 0x80), background), styleOf(TTokenClass::Number));
    setColor(ReadableOn(QColor(0x00, 0x00, 0xFF), background), styleOf(TTokenClass::Symbol));
}

double TSqlStyler::ContrastRatio(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        const auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor TSqlStyler::ReadableOn(const QColor& colour, const QColor& background) {
    if (background.lightness() >= 128)
        return colour;
    QColor readable = colour.toHsl();
    for (int lightness = readable.lightness(); lightness < 255 && ContrastRatio(readable, background) < 4.5;) {
        lightness = std::min(255, lightness + 4);
        readable.setHsl(readable.hslHue(), readable.hslSaturation(), lightness);
    }
    return readable.toRgb();
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
    using Sci = QsciScintillaBase;
    const long firstLine = ed->SendScintilla(Sci::SCI_LINEFROMPOSITION, start);
    const long lastLine = ed->SendScintilla(Sci::SCI_LINEFROMPOSITION, end - 1);
    bool inComment = firstLine > 0 && (ed->SendScintilla(Sci::SCI_GETLINESTATE, firstLine - 1) & 1);
    const long from = ed->SendScintilla(Sci::SCI_POSITIONFROMLINE, firstLine);
    const long to = ed->SendScintilla(Sci::SCI_POSITIONFROMLINE, lastLine + 1);
    // A direct view of the text: no copy of the range is made.
    const char* bytes =
        reinterpret_cast<const char*>(ed->SendScintilla(Sci::SCI_GETRANGEPOINTER, from, to - from));
    if (!bytes)
        return;

    // The styles of the whole range go to QScintilla in one call.
    QByteArray styles(to - from, char(styleOf(TTokenClass::PlainText)));
    QList<TSqlToken> tokens;
    QString text;
    QVarLengthArray<int, 256> byteOf; // UTF-8 offset of each UTF-16 unit of a non-ASCII line
    long lineStart = from;
    for (long line = firstLine; line <= lastLine; ++line) {
        const long next = line == lastLine ? to : ed->SendScintilla(Sci::SCI_POSITIONFROMLINE, line + 1);
        const long lineEnd = ed->SendScintilla(Sci::SCI_GETLINEENDPOSITION, line);
        const char* p = bytes + (lineStart - from);
        const int length = int(lineEnd - lineStart);
        bool ascii = true;
        for (int i = 0; i < length && ascii; ++i)
            ascii = static_cast<unsigned char>(p[i]) < 0x80;
        if (ascii) { // widened in place: no allocation per line
            text.resize(length);
            char16_t* out = reinterpret_cast<char16_t*>(text.data());
            for (int i = 0; i < length; ++i)
                out[i] = static_cast<unsigned char>(p[i]);
        } else {
            text = QString::fromUtf8(p, length);
        }

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
        char* lineStyles = styles.data() + (lineStart - from);
        for (const TSqlToken& t : tokens) {
            const int first = ascii ? t.Start : byteOf[t.Start];
            const int last = ascii ? t.Start + t.Length : byteOf[t.Start + t.Length];
            std::memset(lineStyles + first, styleOf(t.Class), std::size_t(last - first));
        }
        const long state = inComment ? 1 : 0;
        if (ed->SendScintilla(Sci::SCI_GETLINESTATE, line) != state)
            ed->SendScintilla(Sci::SCI_SETLINESTATE, line, state);
        lineStart = next;
    }
    startStyling(int(from));
    ed->SendScintilla(Sci::SCI_SETSTYLINGEX, static_cast<unsigned long>(styles.size()), styles.constData());
}
