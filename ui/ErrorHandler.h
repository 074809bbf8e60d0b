#pragma once

#include <QApplication>
#include <exception>
#include <functional>

class QString;

// The one place that shows errors no caller handled: a TError's message (or any other
// exception's text) in the application's error box. A TAbort is never shown.
void ShowException(const std::exception& e);

// The message of any error: a TError's German text, running out of memory in German,
// otherwise what the library said.
QString ErrorMessage(const std::exception& e);

// The message as shown: a "." is appended when the last character sorts above ".".
QString ErrorBoxText(const QString& message);

// Runs a command and shows what it throws: the boundary of every action and event handler.
void RunGuarded(const std::function<void()>& command);

// The application object. Every exception that escapes an event handler ends here and is
// shown, so no command can take the program down by throwing.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
