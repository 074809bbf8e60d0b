#pragma once

#include <QComboBox>

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
        emit CloseUp();
    }

signals:
    void DropDown();
    void CloseUp();
};
