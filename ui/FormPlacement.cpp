#include "ui/FormPlacement.h"

#include "settings/IniFileEx.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {

TWindowPlacement CurrentPlacement(QWidget* window, const QString& className) {
    TWindowPlacement p;
    p.ComponentName = window->objectName();
    p.ClassName = className.isEmpty() ? QString::fromLatin1(window->metaObject()->className()) : className;
    p.Resizable = window->minimumSize() != window->maximumSize();
    const Qt::WindowStates state = window->windowState();
    p.State = state & Qt::WindowMinimized ? 1 : state & (Qt::WindowMaximized | Qt::WindowFullScreen) ? 2 : 0;
    // Client-area geometry both ways: the frame is only known once the window manager has it.
    QRect normal = window->geometry();
    if (p.State != 0) {
        normal = window->normalGeometry();
        p.NormalPlacementKnown = normal.isValid();
    }
    p.Left = normal.x();
    p.Top = normal.y();
    p.Width = normal.width();
    p.Height = normal.height();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize desktop = screen->virtualGeometry().size();
        p.DesktopWidth = desktop.width();
        p.DesktopHeight = desktop.height();
    }
    return p;
}

} // namespace

void RestoreFormPlacement(TIniFileEx& store, const QString& section, QWidget* window,
                          const QString& className) {
    const TWindowPlacement p = store.RestoreFormPlacement(section, CurrentPlacement(window, className));
    if (window->windowState() != Qt::WindowNoState)
        window->setWindowState(Qt::WindowNoState);
    window->setGeometry(p.Left, p.Top, p.Width, p.Height);
    if (p.State == 1)
        window->setWindowState(Qt::WindowMinimized);
    else if (p.State == 2)
        window->setWindowState(Qt::WindowMaximized);
}

void SaveFormPlacement(TIniFileEx& store, const QString& section, QWidget* window, const QString& className) {
    store.SaveFormPlacement(section, CurrentPlacement(window, className));
}
