#include "ui/MainWindowIntf.h"

namespace {
TMainWindowIntf* mainWindow = nullptr;
}

TMainWindowIntf* FrmMainIntf()
{
    return mainWindow;
}

void SetFrmMainIntf(TMainWindowIntf* window)
{
    mainWindow = window;
}
