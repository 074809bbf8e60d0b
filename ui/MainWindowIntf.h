#pragma once

class QAction;
class QString;
class TFrameWork;

// What the catalogue and the workspaces need of the main window. The one main window
// implements it and registers itself; the panes reach it through FrmMainIntf().
class TMainWindowIntf {
public:
    virtual void OpenWorkspace(const QString& name, const QString& connectionString) = 0;
    virtual void UpdateActions() = 0;
    virtual TFrameWork* CurrentWorkspace() const = 0;
    // An entry was renamed: its open workspaces go on under the new name, so that what they
    // store at their close lands where the entry's settings moved.
    virtual void RenameWorkspaces(const QString& from, const QString& to) = 0;
    // An action of ActionListMain by its name ("ActDBOpen"); asserts that it exists.
    virtual QAction* Action(const QString& name) const = 0;

protected:
    ~TMainWindowIntf() = default;
};

TMainWindowIntf* FrmMainIntf();
void SetFrmMainIntf(TMainWindowIntf* window);
