#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// A modal dialog asking for one line of text. It widens itself to show the whole initial
// value, up to the width of the screen.
class TFrmInputQueryExt : public QDialog {
    Q_OBJECT
public:
    explicit TFrmInputQueryExt(QWidget* parent = nullptr);

    // Shows the dialog; on OK stores the edited text in value and returns true.
    static bool InputQuery(const QString& caption, const QString& prompt, QString& value);

    QString Value() const;
    // Sets the text and the dialog's client width so that the whole text is visible.
    void SetValue(const QString& value);

    QLabel* Lbl = nullptr;
    QLineEdit* Edt = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The field is anchored left and right: it follows the dialog's width.
    void FitEdt();
};
