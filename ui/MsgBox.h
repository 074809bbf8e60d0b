#pragma once

#include <QList>
#include <QString>

class QWidget;

// The program's message boxes with their German titles and buttons. Tests plant answers
// with ScriptAnswers; a planted answer is used instead of showing the box, and the text
// that would have been shown is recorded.
namespace MsgBox {

enum class Kind { Confirm, Information, Warning, Error };
enum class Button { Ok, Cancel, Yes, No };

// Shows a modal box with the given buttons (the first is the default) and returns the one
// the user pressed; closing the box counts as Cancel or, without Cancel, as the last button.
Button Show(const QString& text, Kind kind, const QList<Button>& buttons, QWidget* parent = nullptr);

Button ShowTitled(const QString& title, const QString& text, Kind kind, const QList<Button>& buttons,
                  QWidget* parent = nullptr);

// "Bestätigen" with OK and Cancel: true when the user pressed OK.
bool ConfirmOkCancel(const QString& text, QWidget* parent = nullptr);
void Error(const QString& text, QWidget* parent = nullptr);
void Information(const QString& text, QWidget* parent = nullptr);
// The application's error box: titled with the application title, error icon, OK.
void ApplicationError(const QString& text);

QString Title(Kind kind);

// Test hooks.
void ScriptAnswers(const QList<Button>& answers);
bool HasScriptedAnswers();
// Without planted answers every box is answered with its default button instead of blocking.
void SetAutoAnswer(bool on);
// The texts of the boxes shown (or answered by script) since the last call; clears the record.
QStringList TakeShownTexts();

} // namespace MsgBox
