#pragma once

#include <QComboBox>
#include <QTimer>

// A drop-down list that says when it opens and when it closes, so the list can be filled
// when the user looks at it and act on the choice when it closes. GUI thread.
class TFieldComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;

    void showPopup() override {
        emit DropDown();
        QComboBox::showPopup();
    }
    void hidePopup() override {
        QComboBox::hidePopup();
        // The popup hides itself before it makes the chosen entry current (mouse and Enter
        // alike): the close-up is told once that is done.
        QTimer::singleShot(0, this, &TFieldComboBox::CloseUp);
    }

signals:
    void DropDown();
    void CloseUp();
};
