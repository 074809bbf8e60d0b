#include "ui/ErrorHandler.h"

#include "ui/MsgBox.h"
#include "settings/Error.h"

#include <QString>
#include <new>

QString ErrorBoxText(const QString& message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void ShowException(const std::exception& e)
{
    if (dynamic_cast<const TAbort*>(&e))
        return;
    const auto* error = dynamic_cast<const TError*>(&e);
    QString message = error ? error->Message() : QString::fromLocal8Bit(e.what());
    if (dynamic_cast<const std::bad_alloc*>(&e))
        message = QStringLiteral("Nicht genug Arbeitsspeicher");
    MsgBox::ApplicationError(ErrorBoxText(message));
}

void RunGuarded(const std::function<void()>& command)
{
    try {
        command();
    } catch (const std::exception& e) {
        ShowException(e);
    }
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowException(e);
    }
    return false;
}
