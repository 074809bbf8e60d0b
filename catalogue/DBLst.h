#pragma once

#include <QIcon>
#include <QList>
#include <QPair>
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
    // At close: takes a name being typed as confirmed, stores what is not stored yet and
    // empties the tree (only when that succeeded).
    void SaveCatalogue();
    // Stores the catalogue after a change, with the settings of renamed entries, in one
    // transaction. When another running program stored its catalogue since this one read it,
    // the user chooses whose list stays (Cancel: TAbort, the change stays unsaved here).
    void StoreCatalogue();
    // Renames an entry as the rename editor does, and stores it. Throws TError when the
    // name's settings would fall together with another entry's.
    void RenameEntry(QTreeWidgetItem* node, const QString& typed);
    // Whether two names would share settings sections without being the same name.
    static bool SectionsCollide(const QString& a, const QString& b);
    // Line breaks become blanks (CR LF one); pos, when given, follows the removed characters.
    static QString CleanName(const QString& name, int* pos = nullptr);

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
    QStringList CatalogueValues() const;
    void CheckNameFree(const QString& name, const QTreeWidgetItem* except) const;
    void MoveWorkspaceSections(const QString& from, const QString& to);

    QLabel* m_countPanel = nullptr;
    // The catalogue as this program last read or wrote it, to see another program's change.
    QStringList m_storedValues;
    // The tree holds a change that is not stored yet, and the renames it includes.
    bool m_unsaved = false;
    // The stored section holds values that are no strings, to be moved aside by the next write.
    bool m_unreadable = false;
    QList<QPair<QString, QString>> m_pendingRenames;
};
