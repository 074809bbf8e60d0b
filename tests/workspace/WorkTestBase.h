#pragma once

#include <QObject>
#include <QString>

#include <memory>

class TFrameWork;
class TFrmMain;
class TIniFileEx;

// What the workspace tests share: the real main window on a fresh settings store, SQLite
// databases made from a script, and running SQL as the user would.
class TWorkTestBase : public QObject {
public:
    TWorkTestBase();
    ~TWorkTestBase() override;

protected:
    // Application name, German texts, message boxes answered.
    static void SetUpApplication();
    // A fresh store without recovery copies, the main window shown.
    void StartWindow();
    // Running fetches cancelled and ended, window and store gone.
    void StopWindow();

    // A new SQLite file in the test's folder, filled by script; its connection string.
    static QString Database(const QString& name, const QString& script);
    TFrameWork* Open(const QString& name, const QString& connectionString);
    // Runs a text as Ctrl+Enter would and waits for the fetch to end.
    void Run(TFrameWork* work, const QString& text);
    void Trigger(const char* action);

    std::unique_ptr<TIniFileEx> m_store;
    std::unique_ptr<TFrmMain> m_window;
};
