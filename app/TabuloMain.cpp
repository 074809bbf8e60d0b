#include "ui/ErrorHandler.h"
#include "ui/KeyNames.h"
#include "app/Main.h"
#include "app/SampleDatabase.h"
#include "app/Termination.h"
#include "settings/RegistryStore.h"
#include "ui/MsgBox.h"
#include "settings/Error.h"
#include "settings/IniFileEx.h"
#include "data/RowBudget.h"

#include <QFont>

#include <memory>

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tabulo"));
    QApplication::setOrganizationName(QStringLiteral("Tabulo"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/tabulo.svg")));
    QGuiApplication::setDesktopFileName(QStringLiteral("tabulo"));
    InstallGermanTexts(app);
    QFont font(QStringLiteral("Tahoma"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(9);
    QApplication::setFont(font);

    // Waiting for a store another program holds locked shows the hourglass.
    TRegistryStore::SetLockWaitNotifier([](bool waiting) {
        if (waiting)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    });
    std::unique_ptr<TIniFileEx> store;
    try {
        store = std::make_unique<TIniFileEx>();
    } catch (const std::exception& e) {
        ShowException(e);
        return 1;
    }
    SetSettingsStore(store.get());
    // Result rows beyond this many MiB, over all workspaces, go to a temporary file; 0 (or
    // no value) leaves a quarter of the memory, at most 2 GiB.
    // A value that cannot be read (stored as another type) is said and the default kept.
    try {
        TRowBudget::SetLimit(
            qint64(store->ReadInteger(QStringLiteral("Results"), QStringLiteral("MemoryBudgetMB"), 0)) << 20);
    } catch (const std::exception& e) {
        ShowException(e);
    }

    try {
        TSampleDatabase::OfferOnFirstStart(*store, TSampleDatabase::ScriptFile(), TSampleDatabase::DatabaseFile());
    } catch (const std::exception& e) {
        ShowException(e);
    }

    int result = 0;
    {
        TFrmMain window;
        window.show();
        CloseOnTerminationSignals(&window);
        result = app.exec();
    }
    SetSettingsStore(nullptr);
    return result;
}
