#pragma once

#include <QIcon>
#include <QList>
#include <QWidget>

#include <functional>

class QLabel;
class QMenu;
class QStatusBar;
class QTreeWidget;
class QTreeWidgetItem;

// The data of one catalogue entry. The entry's name is the caption of its tree node.
class TDBInfo {
public:
    explicit TDBInfo(QString connectionString) : ConnectionString(std::move(connectionString)) {}
    QString ConnectionString;
};

// The catalogue pane: the user's named database connections as a tree under one root, with
// their number in a status bar. Loaded once when the main window is shown, written once when
// it closes. GUI thread only.
class TFrameDBLst : public QWidget {
    Q_OBJECT
public:
    explicit TFrameDBLst(QWidget* parent = nullptr);
    ~TFrameDBLst() override;

    static QString CatalogueSection();
    // Where values of the catalogue section that are no strings are kept when it is written.
    static QString UnreadableSection();

    // Loads every readable entry; a stored value that cannot be read is reported afterwards
    // (TError) and kept in the store.
    void LoadCatalogue();
    // Writes the catalogue; only when that succeeded the tree is emptied. A catalogue that
    // could not be read is not written over unless the user changed it.
    void SaveCatalogue();

    bool HasSelectedDatabase() const;
    // The entry data of a node; nullptr for the root.
    static TDBInfo* InfoOf(const QTreeWidgetItem* node);
    // Appends an entry as the last child of the root and returns its node.
    QTreeWidgetItem* AddEntry(const QString& name, const QString& connectionString);
    QTreeWidgetItem* Root() const;
    int EntryCount() const;

    // Prompts for a connection string (starting from the template), tests it and appends a
    // new entry whose name the user may type at once.
    void AddDatabase(const QString& templateConnectionString);
    void CopyDatabase();
    void EditProperties();
    // The data link dialog and a test of its result; the user may keep a string that fails.
    QString PromptConnectionString(const QString& initial);
    // Opens and closes a connection with the string; throws what the provider reports.
    void TestConnection(const QString& connectionString);
    // The data link dialog; tests replace it to answer by script.
    std::function<QString(const QString&)> DataLinkPrompt;

    void OpenSelected();
    void RenameDatabase();
    void RemoveDatabase();
    void EditConnectionString();

    // Name for a new entry from its connection string: "Initial Catalog", "Data Source" or
    // "User ID", else "Datenbank" and the number of nodes before the addition.
    QString DefaultDatabaseName(const QString& connectionString) const;

    QTreeWidget* TreeDB = nullptr;
    QStatusBar* StatBar = nullptr;
    QMenu* PopMnuTreeDB = nullptr;
    QList<QIcon> ImgLstTree;

    // True only while RenameDatabase starts the in-place editor.
    bool EditAllowed = false;
    QTreeWidgetItem* DraggedNode = nullptr;

    QString CountText() const;

    // Moves DraggedNode in front of the target among the target's siblings.
    void TreeDBDragDrop(QTreeWidgetItem* target);
    // Selects the node under the released right button and opens the context menu there.
    void TreeDBMouseUp(QTreeWidgetItem* node, const QPoint& globalPos);

private:
    friend class TDBTree;
    bool TreeDBEditing() const { return EditAllowed; }
    void RefreshCount();
    void Clear();
    void UpdateMainActions();

    QLabel* m_countPanel = nullptr;
    // The stored catalogue was read, and whether the user changed the tree since loading.
    bool m_loaded = false;
    bool m_changed = false;
};
