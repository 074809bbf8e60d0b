#pragma once

#include <functional>

#include <QString>

class TSqlEdit;

// Frames the bracket right of the caret and its partner in silver. The search counts
// nested pairs of the same kind only, reads strings and comments like any other text and
// gives up 800 lines away from the caret's line. GUI thread only.
class TBracketMarks {
public:
    static constexpr int Indicator = 8; // the first indicator number left to containers
    static constexpr int MaxLineDistance = 800;

    using TLineAt = std::function<QString(int line)>;

    // The partner of the bracket at `column` of `line`: true with its line and column, false
    // when that character is no bracket or its partner is not found.
    static bool FindPartner(const TLineAt& lineAt, int lineCount, int line, int column, int* partnerLine,
                            int* partnerColumn);

    explicit TBracketMarks(TSqlEdit* editor);
    // Takes away the old marks and marks the bracket at the caret, if any.
    void Update();
    // Whether the character at the line and column carries a mark (for tests).
    bool IsMarked(int line, int column) const;

private:
    void Clear();

    TSqlEdit* m_editor;
    long m_marks[2] = {-1, -1};
};
