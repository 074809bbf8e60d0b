#include "tests/workspace/WorkTestBase.h"

#include "app/Main.h"
#include "data/Connection.h"
#include "editor/SqlEdit.h"
#include "settings/IniFileEx.h"
#include "ui/KeyNames.h"
#include "ui/MsgBox.h"
#include "workspace/EditorRecovery.h"
#include "workspace/Work.h"

#include <QAbstractItemView>
#include <QAction>
#include <QLineEdit>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTest>

TWorkTestBase::TWorkTestBase() = default;
TWorkTestBase::~TWorkTestBase() = default;

void TWorkTestBase::SetUpApplication() {
    QApplication::setApplicationName(QStringLiteral("Tabulo"));
    InstallGermanTexts(*QCoreApplication::instance());
    MsgBox::SetAutoAnswer(true);
}

void TWorkTestBase::StartWindow() {
    const QString store = qEnvironmentVariable("TABULO_SETTINGS");
    QFile::remove(store);
    // A window dropped by the previous case leaves recovery copies as a crash would.
    QDir(TEditorRecovery::FolderBeside(store)).removeRecursively();
    m_store = std::make_unique<TIniFileEx>();
    SetSettingsStore(m_store.get());
    m_window = std::make_unique<TFrmMain>();
    m_window->resize(1100, 800);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    MsgBox::TakeShownTexts();
}

void TWorkTestBase::StopWindow() {
    if (m_window) {
        for (TFrameWork* work : m_window->findChildren<TFrameWork*>())
            if (work->Busy())
                work->CancelSql();
        QTRY_VERIFY([this] {
            for (TFrameWork* work : m_window->findChildren<TFrameWork*>())
                if (work->Busy())
                    return false;
            return true;
        }());
    }
    m_window.reset();
    SetSettingsStore(nullptr);
    m_store.reset();
    MsgBox::TakeShownTexts();
}

QString TWorkTestBase::Database(const QString& name, const QString& script) {
    const QString path =
        QDir(qEnvironmentVariable("TABULO_TEST_TMP")).filePath(name + QStringLiteral(".sqlite"));
    QFile::remove(path);
    TConnection connection;
    connection.Open(QStringLiteral("Provider=SQLite;Data Source=%1;Mode=Create").arg(path));
    if (!script.isEmpty())
        connection.Execute(script);
    connection.Close();
    return QStringLiteral("Provider=SQLite;Data Source=%1").arg(path);
}

TFrameWork* TWorkTestBase::Open(const QString& name, const QString& connectionString) {
    m_window->OpenWorkspace(name, connectionString);
    m_window->UpdateActions();
    return m_window->CurrentWorkspace();
}

void TWorkTestBase::Run(TFrameWork* work, const QString& text) {
    work->MemSql->SetLines(text.split(QLatin1Char('\n')));
    Trigger("ActSqlExec");
    QTRY_VERIFY_WITH_TIMEOUT(!work->Busy(), 20000);
}

void TWorkTestBase::Trigger(const char* action) {
    m_window->Action(QLatin1String(action))->trigger();
}

void TWorkTestBase::RightClick(QWidget* widget, const QPoint& position) {
    QWidget* top = widget->window();
    QTest::mouseClick(top->windowHandle(), Qt::RightButton, {}, widget->mapTo(top, position));
}

void TWorkTestBase::DoubleClick(QWidget* widget, const QPoint& position) {
    QWidget* top = widget->window();
    QTest::mouseDClick(top->windowHandle(), Qt::LeftButton, {}, widget->mapTo(top, position));
}

QLineEdit* TWorkTestBase::CellEditor(const QAbstractItemView* view) {
    for (QLineEdit* editor : view->viewport()->findChildren<QLineEdit*>())
        if (editor->isVisible())
            return editor;
    return nullptr;
}

void TWorkTestBase::ChooseInMenu(QMenu* menu, QAction* action) {
    QTRY_VERIFY(menu->isVisible());
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
    QTRY_VERIFY(!menu->isVisible());
}
