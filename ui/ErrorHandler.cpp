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

QString ErrorMessage(const std::exception& e)
{
    if (const auto* error = dynamic_cast<const TError*>(&e))
        return error->Message();
    if (dynamic_cast<const std::bad_alloc*>(&e))
        return QStringLiteral("Nicht genug Arbeitsspeicher");
    return QString::fromLocal8Bit(e.what());
}

void ShowException(const std::exception& e)
{
    if (dynamic_cast<const TAbort*>(&e))
        return;
    MsgBox::ApplicationError(ErrorBoxText(ErrorMessage(e)));
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
