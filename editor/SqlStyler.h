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

    const char* language() const override { return "SQL"; }
    QString description(int style) const override;
    void styleText(int start, int end) override;
};
