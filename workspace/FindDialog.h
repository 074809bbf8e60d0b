#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

// The modeless find dialog of a workspace: the search text, whole word and match case; it
// searches downward only, so it offers no direction. "Weitersuchen" emits Find; the
// workspace searches. GUI thread.
class TFindDialog : public QDialog {
    Q_OBJECT
public:
    explicit TFindDialog(QWidget* parent);

    QString FindText() const;
    void SetFindText(const QString& text);
    bool WholeWord() const;
    bool MatchCase() const;

    QLineEdit* EdtFind = nullptr;
    QCheckBox* ChkWholeWord = nullptr;
    QCheckBox* ChkMatchCase = nullptr;
    QPushButton* BtnFindNext = nullptr;
    QPushButton* BtnCancel = nullptr;

signals:
    void Find();

protected:
    void showEvent(QShowEvent* event) override;
};
