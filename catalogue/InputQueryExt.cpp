#include "catalogue/InputQueryExt.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <limits>
#include <memory>

namespace {
// Client area of the designed dialog; the field keeps its distance to the right edge.
constexpr int DesignWidth = 481;
constexpr int DesignHeight = 152;
constexpr int EdtLeft = 8;
constexpr int EdtRightGap = DesignWidth - (EdtLeft + 464);

// A field whose text is never selected by getting the focus: the first key typed must not
// replace a connection string the user came to edit.
class TEdt : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

protected:
    void focusInEvent(QFocusEvent* event) override
    {
        const bool hadSelection = hasSelectedText();
        const int caret = cursorPosition();
        QLineEdit::focusInEvent(event);
        if (!hadSelection && hasSelectedText()) {
            deselect();
            setCursorPosition(caret);
        }
    }
};
} // namespace

TFrmInputQueryExt::TFrmInputQueryExt(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FrmInputQueryExt"));
    resize(DesignWidth, DesignHeight);

    Lbl = new QLabel(this);
    Lbl->setObjectName(QStringLiteral("Lbl"));
    QFont bold = Lbl->font();
    bold.setBold(true);
    Lbl->setFont(bold);
    Lbl->setGeometry(8, 16, 465, 41);
    Lbl->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Lbl->setWordWrap(false);

    Edt = new TEdt(this);
    Edt->setObjectName(QStringLiteral("Edt"));
    Edt->setGeometry(EdtLeft, 72, 464, 21);
    // A field cuts at 32,767 characters by default: a longer connection string would come
    // back short without a word.
    Edt->setMaxLength(std::numeric_limits<int>::max());
    // A prompt with a mnemonic leads to the field.
    Lbl->setBuddy(Edt);

    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(8, 112, 97, 25);
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

    BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Abbrechen"),
                              this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(111, 112, 97, 25);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(Edt, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
    Edt->setFocus();
}

QString TFrmInputQueryExt::Value() const
{
    return Edt->text();
}

void TFrmInputQueryExt::SetValue(const QString& value)
{
    Edt->setText(value);
    Edt->setCursorPosition(0);
    int width = QFontMetrics(font()).horizontalAdvance(value) + 2 * EdtLeft + 20;
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const int screenWidth = screen ? screen->geometry().width() : width + 30;
    if (screenWidth < width + 30)
        width = screenWidth - 30;
    resize(width, height());
    FitEdt();
}

void TFrmInputQueryExt::FitEdt()
{
    Edt->setGeometry(EdtLeft, Edt->y(), qMax(0, width() - EdtLeft - EdtRightGap), Edt->height());
}

void TFrmInputQueryExt::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    Edt->setFocus(Qt::OtherFocusReason);
}

void TFrmInputQueryExt::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    FitEdt();
}

bool TFrmInputQueryExt::InputQuery(const QString& caption, const QString& prompt, QString& value)
{
    auto dialog = std::make_unique<TFrmInputQueryExt>();
    dialog->setWindowTitle(caption);
    dialog->Lbl->setText(prompt);
    dialog->SetValue(value);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        dialog->move(screen->geometry().center() - dialog->rect().center());
    if (dialog->exec() != QDialog::Accepted)
        return false;
    value = dialog->Value();
    return true;
}
