// Searching: the modeless find dialog, and the search in the result grid or in the editor,
// whichever had the focus when the dialog was opened.
#include "workspace/Work.h"

#include "data/Query.h"
#include "editor/SqlEdit.h"
#include "ui/ErrorHandler.h"
#include "ui/MsgBox.h"
#include "workspace/FindDialog.h"

#include "workspace/GridFreeze.h"
#include "workspace/ResultGrid.h"
#include "workspace/ResultModel.h"
#include <QLineEdit>


namespace {

// Only the letters a-z are folded; other letters, umlauts too, keep their case.
char16_t FoldChar(char16_t c) {
    return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c;
}

// Compares without allocating: the grid search looks at every value of a large result.
bool EqualFolded(QStringView a, QStringView b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (FoldChar(a[i].unicode()) != FoldChar(b[i].unicode()))
            return false;
    return true;
}

bool ContainsFolded(QStringView hay, QStringView needle) {
    for (qsizetype i = 0; i + needle.size() <= hay.size(); ++i)
        if (EqualFolded(hay.mid(i, needle.size()), needle))
            return true;
    return false;
}

bool IsWithin(const QWidget* control, const QWidget* container) {
    return control && container && (control == container || container->isAncestorOf(control));
}

} // namespace

bool TFrameWork::CanSearch() const {
    const QWidget* focus = window() ? window()->focusWidget() : nullptr;
    if (IsWithin(focus, MemSql))
        return true;
    return IsWithin(focus, GrdResults) && HasResult();
}

void TFrameWork::ShowFindDialog() {
    QWidget* focus = window() ? window()->focusWidget() : nullptr;
    SearchControl = IsWithin(focus, MemSql) ? MemSql : IsWithin(focus, GrdResults) ? GrdResults : focus;
    FirstSearch = true;
    if (!FindDialog) {
        FindDialog = new TFindDialog(this);
        connect(FindDialog, &TFindDialog::Find, this, [this] { RunGuarded([this] { FindDialogFind(); }); });
    }
    FindDialog->show();
    FindDialog->raise();
    FindDialog->activateWindow();
}

void TFrameWork::FindDialogFind() {
    FindNext(FirstSearch);
    FirstSearch = false;
}

void TFrameWork::FindNext() {
    FindNext(false);
}

bool TFrameWork::FindNext(bool first) {
    bool found = false;
    if (SearchControl && SearchControl == GrdResults)
        found = SearchGrid(first);
    else if (SearchControl && SearchControl == MemSql)
        found = SearchEditor(first);
    if (!found)
        MsgBox::Information(
            QStringLiteral("Nicht gefunden: ") + (FindDialog ? FindDialog->FindText() : QString()), this);
    return found;
}

bool TFrameWork::MatchField(qint64 row, int column, const TGridSearch& search) const {
    if (Qry->Fields()[column].IsBlob())
        return false;
    const QString value = row == search.EditRow ? GridCellText(row, column) : Qry->Text(row, column);
    if (search.WholeWord)
        return search.MatchCase ? value == search.Wanted : EqualFolded(value, search.Wanted);
    return search.MatchCase ? value.contains(search.Wanted) : ContainsFolded(value, search.Wanted);
}

bool TFrameWork::SearchRecord(qint64 row, bool first, bool isStartRecord, const TGridSearch& search) {
    const int fields = Qry->Fields().Count();
    int from = 0;
    if (isStartRecord)
        from = qMax(0, GrdResults->currentIndex().column()) + (first ? 0 : 1);
    for (int column = from; column < fields; ++column)
        if (MatchField(row, column, search)) {
            GrdResults->setCurrentIndex(Dsr->index(int(row), column));
            return true;
        }
    return false;
}

bool TFrameWork::SearchGrid(bool first) {
    if (!FindDialog || !HasResult() || Dsr->rowCount() == 0)
        return false;
    const qint64 rows = Dsr->rowCount();
    const qint64 start = qMax(0, GrdResults->currentIndex().row());
    // The dialog's settings and the edited record are read once, not for every cell.
    const TGridSearch search{FindDialog->EdtFind->text(), FindDialog->MatchCase(), FindDialog->WholeWord(),
                             Dsr->EditRow()};
    bool found = false;
    {
        const TGridFreeze freeze(GrdResults);
        for (qint64 row = start; row < rows && !found; ++row)
            found = SearchRecord(row, first, row == start, search);
    }
    if (found)
        GrdResults->scrollTo(GrdResults->currentIndex());
    return found;
}

bool TFrameWork::SearchEditor(bool first) {
    if (!FindDialog)
        return false;
    const QString text = MemSql->Text();
    const QString wanted = FindDialog->FindText();
    const int start = MemSql->SelectionStartOffset() + (first ? 0 : 1);
    if (wanted.isEmpty() || start >= text.size())
        return false;
    // Folded letter by letter, so that offsets stay those of the text: upper-casing the whole
    // text would turn "ß" into "SS" and shift every match after it.
    const qsizetype at =
        text.indexOf(wanted, start, FindDialog->MatchCase() ? Qt::CaseSensitive : Qt::CaseInsensitive);
    if (at < 0)
        return false;
    MemSql->SelectTextRange(int(at), int(wanted.size()));
    return true;
}
