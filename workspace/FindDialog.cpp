#include "workspace/FindDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TFindDialog::TFindDialog(QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("FindDialog"));
    setWindowTitle(QStringLiteral("Suchen"));
    setModal(false);
    auto* layout = new QGridLayout(this);
    auto* label = new QLabel(QStringLiteral("Suchen &nach:"), this);
    EdtFind = new QLineEdit(this);
    EdtFind->setObjectName(QStringLiteral("EdtFind"));
    EdtFind->setMinimumWidth(EdtFind->fontMetrics().averageCharWidth() * 30);
    label->setBuddy(EdtFind);
    ChkWholeWord = new QCheckBox(QStringLiteral("Nur &ganzes Wort"), this);
    ChkWholeWord->setObjectName(QStringLiteral("ChkWholeWord"));
    ChkMatchCase = new QCheckBox(QStringLiteral("Groß-/&Kleinschreibung"), this);
    ChkMatchCase->setObjectName(QStringLiteral("ChkMatchCase"));
    BtnFindNext = new QPushButton(QStringLiteral("&Weitersuchen"), this);
    BtnFindNext->setObjectName(QStringLiteral("BtnFindNext"));
    BtnFindNext->setDefault(true);
    BtnFindNext->setEnabled(false);
    BtnCancel = new QPushButton(QStringLiteral("Abbrechen"), this);
    BtnCancel->setObjectName(QStringLiteral("BtnCancel"));
    layout->addWidget(label, 0, 0);
    layout->addWidget(EdtFind, 0, 1);
    layout->addWidget(ChkWholeWord, 1, 0, 1, 2);
    layout->addWidget(ChkMatchCase, 2, 0, 1, 2);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(BtnFindNext);
    buttons->addWidget(BtnCancel);
    buttons->addStretch(1);
    layout->addLayout(buttons, 0, 2, 3, 1);
    connect(EdtFind, &QLineEdit::textChanged, this,
            [this](const QString& text) { BtnFindNext->setEnabled(!text.isEmpty()); });
    connect(BtnFindNext, &QPushButton::clicked, this, &TFindDialog::Find);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::close);
}

QString TFindDialog::FindText() const {
    return EdtFind->text();
}

void TFindDialog::SetFindText(const QString& text) {
    EdtFind->setText(text);
}

bool TFindDialog::WholeWord() const {
    return ChkWholeWord->isChecked();
}

bool TFindDialog::MatchCase() const {
    return ChkMatchCase->isChecked();
}

void TFindDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    EdtFind->setFocus();
    EdtFind->selectAll();
}
