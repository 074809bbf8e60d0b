#pragma once

#include <Qsci/qscilexercustom.h>

#include <QColor>
#include <QFont>

// Colours the SQL editor with TSqlLexer. QScintilla asks for styling only from the first
// line whose styles are stale down to the end of what is shown, so after a change only
// the lines that are seen get coloured again; the line state of every styled line holds
// whether it ends inside a block comment, which is all the next line needs to start.
// GUI thread only.
class TSqlStyler : public QsciLexerCustom {
    Q_OBJECT

public:
    // One style per token class, numbered as TTokenClass.
    explicit TSqlStyler(const QFont& font, const QColor& text, const QColor& background,
                        QObject* parent = nullptr);

    // The colour as given on a light background; on a dark one the same hue lighter, until it
    // stands out from the background at least 4.5:1.
    static QColor ReadableOn(const QColor& colour, const QColor& background);
    // The contrast ratio of two colours, 1 to 21, by their relative luminance.
    static double ContrastRatio(const QColor& a, const QColor& b);

    const char* language() const override { return "SQL"; }
    QString description(int style) const override;
    void styleText(int start, int end) override;
};
