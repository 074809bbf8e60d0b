#include "ui/MsgBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace MsgBox {
namespace {

QList<Button>& scripted()
{
    static QList<Button> answers;
    return answers;
}

bool autoAnswer = false;

QStringList& shown()
{
    static QStringList texts;
    return texts;
}

QString caption(Button b)
{
    switch (b) {
    case Button::Ok:
        return QStringLiteral("OK");
    case Button::Cancel:
        return QStringLiteral("Abbrechen");
    case Button::Yes:
        return QStringLiteral("&Ja");
    case Button::No:
        return QStringLiteral("&Nein");
    }
    return {};
}

QMessageBox::Icon icon(Kind kind)
{
    switch (kind) {
    case Kind::Confirm:
        return QMessageBox::Question;
    case Kind::Information:
        return QMessageBox::Information;
    case Kind::Warning:
        return QMessageBox::Warning;
    case Kind::Error:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

} // namespace

QString Title(Kind kind)
{
    switch (kind) {
    case Kind::Confirm:
        return QStringLiteral("Bestätigen");
    case Kind::Information:
        return QStringLiteral("Informationen");
    case Kind::Warning:
        return QStringLiteral("Warnung");
    case Kind::Error:
        return QStringLiteral("Fehler");
    }
    return {};
}

Button Show(const QString& text, Kind kind, const QList<Button>& buttons, QWidget* parent)
{
    return ShowTitled(Title(kind), text, kind, buttons, parent);
}

Button ShowTitled(const QString& title, const QString& text, Kind kind, const QList<Button>& buttons,
                  QWidget* parent)
{
    Q_ASSERT(!buttons.isEmpty());
    shown().append(text);
    if (!scripted().isEmpty())
        return scripted().takeFirst();
    if (autoAnswer)
        return buttons.first();

    QMessageBox box(icon(kind), title, text, QMessageBox::NoButton,
                    parent ? parent : QApplication::activeWindow());
    QList<QPair<QAbstractButton*, Button>> map;
    for (Button b : buttons) {
        const auto role = (b == Button::Cancel || b == Button::No) ? QMessageBox::RejectRole
                                                                  : QMessageBox::AcceptRole;
        QPushButton* pb = box.addButton(caption(b), role);
        pb->setObjectName(caption(b).remove(QLatin1Char('&')));
        map.append({pb, b});
    }
    box.setDefaultButton(static_cast<QPushButton*>(map.first().first));
    const bool hasCancel = buttons.contains(Button::Cancel);
    for (const auto& [pb, b] : map)
        if (b == (hasCancel ? Button::Cancel : buttons.last()))
            box.setEscapeButton(pb);
    box.exec();
    for (const auto& [pb, b] : map)
        if (box.clickedButton() == pb)
            return b;
    return hasCancel ? Button::Cancel : buttons.last();
}

bool ConfirmOkCancel(const QString& text, QWidget* parent)
{
    return Show(text, Kind::Confirm, {Button::Ok, Button::Cancel}, parent) == Button::Ok;
}

void Error(const QString& text, QWidget* parent)
{
    Show(text, Kind::Error, {Button::Ok}, parent);
}

void ApplicationError(const QString& text)
{
    ShowTitled(QApplication::applicationDisplayName(), text, Kind::Error, {Button::Ok}, nullptr);
}

void Information(const QString& text, QWidget* parent)
{
    Show(text, Kind::Information, {Button::Ok}, parent);
}

void ScriptAnswers(const QList<Button>& answers)
{
    scripted() = answers;
}

void SetAutoAnswer(bool on)
{
    autoAnswer = on;
}

bool HasScriptedAnswers()
{
    return !scripted().isEmpty();
}

QStringList TakeShownTexts()
{
    return std::exchange(shown(), {});
}

} // namespace MsgBox
