#pragma once

#include "ui/MainWindowIntf.h"

#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QPair>
#include <QSize>

class QAction;
class QKeyEvent;
class QSplitter;
class QTabWidget;
class QToolBar;
class QMenuBar;
class TFrameDBLst;

// The main window: the catalogue on the left, one tab per open database on the right, the
// one action list of the program. One instance, on the GUI thread.
class TFrmMain : public QMainWindow, public TMainWindowIntf {
    Q_OBJECT
public:
    explicit TFrmMain(QWidget* parent = nullptr);
    ~TFrmMain() override;

    void OpenWorkspace(const QString& name, const QString& connectionString) override;
    void UpdateActions() override;
    TFrameWork* CurrentWorkspace() const override;
    QAction* Action(const QString& name) const override;

    TFrameWork* WorkspaceOfPage(QWidget* page) const;
    void RenameWorkspaces(const QString& from, const QString& to) override;
    void UpdateCaption();
    QString NewFrameName() const;
    // The settings section of the window's placement and the catalogue pane's width.
    static QString PlacementSection();

    TFrameDBLst* FrameDBLst = nullptr;
    QSplitter* Splitter1 = nullptr;
    QTabWidget* PageControl = nullptr;
    QToolBar* ToolBarMain = nullptr;
    QMenuBar* MainMenu = nullptr;
    QObject* ActionListMain = nullptr;
    QList<QIcon> ImageList;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void FormShow();
    void FormClose();
    void PageControlChange(int index);
    // Whether a key pressed with the focus in a workspace would trigger a command on the
    // catalogue, which the user cannot see acting there.
    bool IsCatalogueShortcutInWorkspace(const QKeyEvent* key) const;
    int CatalogueWidth() const;
    void SetCatalogueWidth(int width);
    void KeepCatalogueWidth(int width);

    void ActDBCloseExecute();
    void ActEditSearchExecute();
    void ActEditSearchAgainExecute();
    void ActHelpAboutExecute();

    bool m_shown = false;
    // What the first show could read of the stored window settings, and what the user changed.
    bool m_placementRead = false;
    bool m_paneWidthRead = false;
    bool m_paneWidthMoved = false;
    QPair<Qt::WindowStates, QSize> m_shownPlacement;
    bool m_switchingByProgram = false;
    QWidget* m_activePage = nullptr;
};
