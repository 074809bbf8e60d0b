#include "catalogue/DBLst.h"

#include "ui/ErrorHandler.h"
#include "ui/MainWindowIntf.h"
#include "ui/MsgBox.h"
#include "catalogue/ConnectionTest.h"
#include "catalogue/DataLink.h"
#include "catalogue/InputQueryExt.h"
#include "settings/Error.h"
#include "settings/IniFileEx.h"
#include "settings/Tools.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QValidator>
#include <QScopeGuard>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <limits>
#include <memory>
#include <optional>

namespace {

constexpr int ImageEntry = 0;
constexpr int ImageRoot = 1;

// A catalogue entry owns its data; the root is the one node without.
class TDBNode : public QTreeWidgetItem {
public:
    TDBNode(const QString& name, std::unique_ptr<TDBInfo> info) : Info(std::move(info))
    {
        setText(0, name);
        setFlags(flags() | Qt::ItemIsEditable);
    }
    std::unique_ptr<TDBInfo> Info;
};

// Names are stored as "name=connection string" and split at the first "=": a name must
// never hold one, so the editor does not accept it. A line break (two lines pasted) becomes a
// blank: the name is a key of the settings, and a backup file cannot carry line breaks in keys.
class TNameValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override
    {
        if (input.contains(QLatin1Char('=')))
            return Invalid;
        input = TFrameDBLst::CleanName(input, &pos);
        return Acceptable;
    }
};

// The rename editor: any length (a field's default of 32,767 characters would cut a longer
// name silently); what it commits goes through the frame's checks and is stored at once.
class TNameDelegate : public QStyledItemDelegate {
public:
    TNameDelegate(TFrameDBLst* frame, QObject* parent) : QStyledItemDelegate(parent), m_frame(frame) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override
    {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            line->setObjectName(QStringLiteral("TreeDBEditor"));
            line->setMaxLength(std::numeric_limits<int>::max());
            line->setValidator(new TNameValidator(line));
        }
        return editor;
    }

    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override
    {
        auto* line = qobject_cast<QLineEdit*>(editor);
        if (!line)
            return;
        // Done once the editor is gone: a box shown now (a refused name, another program's
        // change) would take the focus from the editor, which commits it a second time.
        const QPersistentModelIndex entry(index);
        QTimer::singleShot(0, m_frame, [frame = m_frame, entry, text = line->text()] {
            if (QTreeWidgetItem* node = entry.isValid() ? frame->TreeDB->itemFromIndex(entry) : nullptr)
                RunGuarded([&] { frame->RenameEntry(node, text); });
        });
    }

private:
    TFrameDBLst* m_frame;
};

QIcon TreeIcon(const QString& resource, const QString& themeName, QStyle::StandardPixmap fallback, QWidget* w)
{
    if (QFile::exists(resource))
        return QIcon(resource);
    return QIcon::fromTheme(themeName, w->style()->standardIcon(fallback));
}

} // namespace

// The tree of the catalogue: editing only on request, its own drop rule, a context menu on
// right-button release, Enter and double click to open.
class TDBTree : public QTreeWidget {
public:
    explicit TDBTree(TFrameDBLst* frame) : QTreeWidget(frame), m_frame(frame) {}

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override
    {
        if (!m_frame->TreeDBEditing())
            return false;
        m_editing = index;
        return QTreeWidget::edit(index, trigger, event);
    }

public:
    // The node whose name is being typed and the text so far; closes the editor without
    // committing it. Nothing when no rename is open.
    std::optional<std::pair<QTreeWidgetItem*, QString>> TakeOpenRename()
    {
        auto* editor = qobject_cast<QLineEdit*>(m_editing.isValid() ? indexWidget(m_editing) : nullptr);
        QTreeWidgetItem* node = m_editing.isValid() ? itemFromIndex(m_editing) : nullptr;
        if (!editor || !node)
            return std::nullopt;
        const QString text = editor->text();
        closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
        return std::make_pair(node, text);
    }

protected:

    void startDrag(Qt::DropActions supportedActions) override
    {
        m_frame->DraggedNode = currentItem();
        QTreeWidget::startDrag(supportedActions);
    }

    void dragEnterEvent(QDragEnterEvent* event) override
    {
        if (event->source() == this)
            event->acceptProposedAction();
        else
            event->ignore();
    }

    void dragMoveEvent(QDragMoveEvent* event) override
    {
        if (event->source() == this) {
            event->setDropAction(Qt::MoveAction);
            event->accept();
        } else {
            event->ignore();
        }
    }

    void dropEvent(QDropEvent* event) override
    {
        if (event->source() != this) {
            event->ignore();
            return;
        }
        QTreeWidgetItem* target = itemAt(event->position().toPoint());
        // The frame moves the node itself; the view must not remove the dragged row again.
        event->setDropAction(Qt::IgnoreAction);
        event->accept();
        RunGuarded([&] { m_frame->TreeDBDragDrop(target); });
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::RightButton)
            return; // a right click does not select by itself
        QTreeWidget::mousePressEvent(event);
    }

    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::RightButton) {
            if (QTreeWidgetItem* node = itemAt(event->position().toPoint()))
                RunGuarded([&] { m_frame->TreeDBMouseUp(node, event->globalPosition().toPoint()); });
            return;
        }
        QTreeWidget::mouseReleaseEvent(event);
    }

    void mouseDoubleClickEvent(QMouseEvent* event) override
    {
        if (event->button() != Qt::LeftButton) {
            QTreeWidget::mouseDoubleClickEvent(event);
            return;
        }
        if (QTreeWidgetItem* node = itemAt(event->position().toPoint()))
            setCurrentItem(node);
        RunGuarded([&] { m_frame->OpenSelected(); });
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            // The Enter that ends renaming reaches the tree too; it must not open the entry.
            if (state() != QAbstractItemView::EditingState)
                RunGuarded([&] { m_frame->OpenSelected(); });
            event->accept();
            return;
        }
        QTreeWidget::keyPressEvent(event);
    }

private:
    TFrameDBLst* m_frame;
    QPersistentModelIndex m_editing;
};

TFrameDBLst::TFrameDBLst(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FrameDBLst"));
    ImgLstTree = {TreeIcon(QStringLiteral(":/icons/tree-database.svg"), QStringLiteral("server-database"),
                           QStyle::SP_DriveHDIcon, this),
                  TreeIcon(QStringLiteral(":/icons/tree-folder.svg"), QStringLiteral("folder"),
                           QStyle::SP_DirIcon, this)};

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* treeHolder = new QWidget(this);
    auto* treeLayout = new QVBoxLayout(treeHolder);
    treeLayout->setContentsMargins(3, 3, 3, 3);
    auto* tree = new TDBTree(this);
    TreeDB = tree;
    TreeDB->setObjectName(QStringLiteral("TreeDB"));
    TreeDB->setAccessibleName(QStringLiteral("Datenbanken"));
    TreeDB->setHeaderHidden(true);
    TreeDB->setIndentation(19);
    TreeDB->setIconSize(QSize(16, 16));
    TreeDB->setExpandsOnDoubleClick(false);
    TreeDB->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TreeDB->setItemDelegate(new TNameDelegate(this, TreeDB));
    TreeDB->setSelectionMode(QAbstractItemView::SingleSelection);
    TreeDB->setDragEnabled(true);
    TreeDB->setAcceptDrops(true);
    TreeDB->setDropIndicatorShown(true);
    TreeDB->setDragDropMode(QAbstractItemView::InternalMove);
    TreeDB->setContextMenuPolicy(Qt::NoContextMenu);
    // White under the palette's text colours; a dark desktop palette keeps its own background,
    // or its light text would stand on white.
    QPalette pal = TreeDB->palette();
    if (pal.color(QPalette::Base).lightness() >= 128)
        pal.setColor(QPalette::Base, Qt::white);
    TreeDB->setPalette(pal);
    treeLayout->addWidget(TreeDB);
    layout->addWidget(treeHolder, 1);

    StatBar = new QStatusBar(this);
    StatBar->setObjectName(QStringLiteral("StatBar"));
    StatBar->setSizeGripEnabled(false);
    m_countPanel = new QLabel(StatBar);
    m_countPanel->setObjectName(QStringLiteral("StatBarPanel0"));
    StatBar->addWidget(m_countPanel, 1);
    layout->addWidget(StatBar);

    PopMnuTreeDB = new QMenu(this);
    PopMnuTreeDB->setObjectName(QStringLiteral("PopMnuTreeDB"));

    connect(TreeDB->model(), &QAbstractItemModel::rowsInserted, this, [this] { RefreshCount(); });
    // Whether the tree holds a change the store has not got yet.
    const auto changed = [this] { m_unsaved = true; };
    connect(TreeDB->model(), &QAbstractItemModel::rowsInserted, this, changed);
    connect(TreeDB->model(), &QAbstractItemModel::rowsRemoved, this, changed);
    connect(TreeDB->model(), &QAbstractItemModel::rowsMoved, this, changed);
    connect(TreeDB->model(), &QAbstractItemModel::dataChanged, this, changed);
    // Clicking empty space clears the selection without moving the current item: the entry
    // commands must follow both.
    connect(TreeDB, &QTreeWidget::currentItemChanged, this, [this] { UpdateMainActions(); });
    connect(TreeDB, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateMainActions(); });
    RefreshCount();
}

TFrameDBLst::~TFrameDBLst() = default;

QString TFrameDBLst::CatalogueSection()
{
    return QStringLiteral("TFrameDBLst.TreeDB");
}

QTreeWidgetItem* TFrameDBLst::Root() const
{
    return TreeDB->topLevelItem(0);
}

int TFrameDBLst::EntryCount() const
{
    QTreeWidgetItem* root = Root();
    return root ? root->childCount() : 0;
}

QString TFrameDBLst::CountText() const
{
    return m_countPanel->text();
}

void TFrameDBLst::RefreshCount()
{
    m_countPanel->setText(QStringLiteral("Anzahl DB: %1").arg(EntryCount()));
}

void TFrameDBLst::UpdateMainActions()
{
    if (TMainWindowIntf* main = FrmMainIntf())
        main->UpdateActions();
}

TDBInfo* TFrameDBLst::InfoOf(const QTreeWidgetItem* node)
{
    const auto* entry = dynamic_cast<const TDBNode*>(node);
    return entry ? entry->Info.get() : nullptr;
}

bool TFrameDBLst::HasSelectedDatabase() const
{
    QTreeWidgetItem* node = TreeDB->currentItem();
    return node && node->isSelected() && InfoOf(node);
}

QTreeWidgetItem* TFrameDBLst::AddEntry(const QString& name, const QString& connectionString)
{
    auto* node = new TDBNode(name, std::make_unique<TDBInfo>(connectionString));
    node->setIcon(0, ImgLstTree.value(ImageEntry));
    Root()->addChild(node);
    return node;
}

void TFrameDBLst::Clear()
{
    DraggedNode = nullptr;
    TreeDB->clear();
    RefreshCount();
}

QString TFrameDBLst::UnreadableSection()
{
    return CatalogueSection() + QStringLiteral(".Unlesbar");
}

void TFrameDBLst::LoadCatalogue()
{
    Clear();
    m_storedValues.clear();
    m_pendingRenames.clear();
    m_unreadable = false;
    auto* root = new QTreeWidgetItem(QStringList{QStringLiteral("Datenbanken")});
    root->setIcon(0, ImgLstTree.value(ImageRoot));
    TreeDB->addTopLevelItem(root);
    // Also when reading fails: the pane shows what it has, nothing selected.
    const auto finish = qScopeGuard([this] {
        TreeDB->expandAll();
        TreeDB->setCurrentItem(nullptr);
        TreeDB->clearSelection();
        RefreshCount();
        m_unsaved = false;
    });

    QStringList values;
    const QStringList unreadable = SettingsStore()->ReadReadableValueList(CatalogueSection(), values);
    m_storedValues = values;
    for (const QString& value : values) {
        // A value without "=" is never written by the program; keep it as a name rather
        // than dropping the entry.
        const qsizetype eq = value.indexOf(QLatin1Char('='));
        if (eq < 0)
            AddEntry(value, QString());
        else
            AddEntry(value.left(eq), value.mid(eq + 1));
    }
    if (unreadable.isEmpty())
        return;
    m_unreadable = true;
    QStringList lines;
    for (const QString& ident : unreadable)
        lines.append(TIniFileEx::InvalidTypeText(ident));
    throw TError(
        lines.join(QStringLiteral("\r\n")) +
        QStringLiteral("\r\n\r\nAlle übrigen Datenbanken sind geladen. Was nicht gelesen werden konnte, "
                       "geht nicht verloren: Es wird beim nächsten Speichern der Liste, spätestens beim Beenden, "
                       "unverändert in den Abschnitt „%1“ "
                       "der Einstellungen verschoben.")
            .arg(UnreadableSection()));
}

QStringList TFrameDBLst::CatalogueValues() const
{
    QStringList values;
    QTreeWidgetItem* root = Root();
    for (int i = 0; root && i < root->childCount(); ++i) {
        QTreeWidgetItem* node = root->child(i);
        const TDBInfo* info = InfoOf(node);
        values.append(node->text(0) + QLatin1Char('=') + (info ? info->ConnectionString : QString()));
    }
    return values;
}

void TFrameDBLst::SaveCatalogue()
{
    // A name being typed when the window closes is taken as if confirmed with Enter.
    if (const auto rename = static_cast<TDBTree*>(TreeDB)->TakeOpenRename())
        RenameEntry(rename->first, rename->second);
    // Every change was stored when it was made; only one the store refused then is left.
    if (m_unsaved || m_unreadable)
        StoreCatalogue();
    Clear();
    m_storedValues.clear();
    m_unsaved = false;
}

QString TFrameDBLst::PromptConnectionString(const QString& initial)
{
    const QString result = DataLinkPrompt ? DataLinkPrompt(initial) : TDataLinkDialog::PromptDataSource(initial, this);
    if (result.isEmpty())
        return result;
    try {
        TestConnection(result);
    } catch (const std::exception& e) {
        // The reason goes below the question: the user decides knowing why it failed.
        const QString reason = ErrorMessage(e);
        if (!MsgBox::ConfirmOkCancel(
                QStringLiteral("Verbindung kann nicht aufgebaut werden. Datenbankinformation trotzdem speichern?") +
                (reason.isEmpty() ? QString() : QStringLiteral("\n\nGrund: ") + reason)))
            throw TAbort();
    }
    return result;
}

void TFrameDBLst::TestConnection(const QString& connectionString)
{
    TestConnectionString(connectionString);
}

void TFrameDBLst::AddDatabase(const QString& templateConnectionString)
{
    const QString connectionString = PromptConnectionString(templateConnectionString);
    if (connectionString.isEmpty())
        return;
    const QString name = DefaultDatabaseName(connectionString);
    CheckNameFree(name, nullptr);
    QTreeWidgetItem* node = AddEntry(name, connectionString);
    TreeDB->expandAll();
    TreeDB->setCurrentItem(node);
    UpdateMainActions();
    StoreCatalogue();
    RenameDatabase();
}

void TFrameDBLst::CopyDatabase()
{
    if (HasSelectedDatabase())
        AddDatabase(InfoOf(TreeDB->currentItem())->ConnectionString);
}

void TFrameDBLst::EditProperties()
{
    if (!HasSelectedDatabase())
        return;
    QTreeWidgetItem* node = TreeDB->currentItem();
    const QString connectionString = PromptConnectionString(InfoOf(node)->ConnectionString);
    if (connectionString.isEmpty())
        return;
    InfoOf(node)->ConnectionString = connectionString;
    StoreCatalogue();
    RenameDatabase();
}

void TFrameDBLst::OpenSelected()
{
    if (!HasSelectedDatabase())
        throw TError(QStringLiteral("Kein Datenbank ausgewählt"));
    QTreeWidgetItem* node = TreeDB->currentItem();
    const QString name = node->text(0);
    const QString connectionString = InfoOf(node)->ConnectionString;
    if (TMainWindowIntf* main = FrmMainIntf())
        main->OpenWorkspace(name, connectionString);
    UpdateMainActions();
}

void TFrameDBLst::RenameDatabase()
{
    if (!HasSelectedDatabase())
        return;
    EditAllowed = true;
    TreeDB->editItem(TreeDB->currentItem(), 0);
    EditAllowed = false;
}

void TFrameDBLst::RemoveDatabase()
{
    if (HasSelectedDatabase() && MsgBox::ConfirmOkCancel(QStringLiteral("Datenbank aus der Liste entfernen?"))) {
        QTreeWidgetItem* node = TreeDB->currentItem();
        if (DraggedNode == node)
            DraggedNode = nullptr;
        delete node;
        RefreshCount();
        UpdateMainActions();
        StoreCatalogue();
    }
    UpdateMainActions();
}

void TFrameDBLst::EditConnectionString()
{
    if (!HasSelectedDatabase())
        return;
    TDBInfo* info = InfoOf(TreeDB->currentItem());
    QString text = info->ConnectionString;
    if (!TFrmInputQueryExt::InputQuery(QStringLiteral("ConnectionString"),
                                       QStringLiteral("&ConnectionString bearbeiten (nur für fortgeschrittene Benutzer"),
                                       text))
        return;
    try {
        TestConnection(text);
    } catch (const TAbort&) {
        throw;
    } catch (const std::exception& e) {
        if (MsgBox::Show(QStringLiteral("ConnectionString ist nicht gültig: ") + ErrorMessage(e) +
                             QStringLiteral(". Trotzdem speichern?"),
                         MsgBox::Kind::Error, {MsgBox::Button::Ok, MsgBox::Button::Cancel}) != MsgBox::Button::Ok)
            throw TAbort();
    }
    info->ConnectionString = text;
    StoreCatalogue();
}

QString TFrameDBLst::DefaultDatabaseName(const QString& connectionString) const
{
    const QList<TSplitEntry> pieces = TTools::Split(connectionString, QStringLiteral(";"), false);
    for (const QString& key : {QStringLiteral("Initial Catalog"), QStringLiteral("Data Source"),
                              QStringLiteral("User ID")}) {
        for (const TSplitEntry& piece : pieces) {
            const qsizetype eq = piece.Text.indexOf(QLatin1Char('='));
            const QString pieceKey = eq < 0 ? piece.Text : piece.Text.left(eq);
            if (pieceKey.compare(key, Qt::CaseInsensitive) != 0)
                continue;
            const QString value = eq < 0 ? QString() : piece.Text.mid(eq + 1);
            if (!value.isEmpty()) {
                QString name = CleanName(value);
                return name.replace(QLatin1Char('='), QLatin1Char('-'));
            }
            break; // only the first piece of a key counts
        }
    }
    return QStringLiteral("Datenbank%1").arg(1 + EntryCount());
}

void TFrameDBLst::TreeDBDragDrop(QTreeWidgetItem* target)
{
    QTreeWidgetItem* dragged = DraggedNode;
    if (!target || !dragged || target == dragged || !InfoOf(dragged))
        return;
    QTreeWidgetItem* root = Root();
    QTreeWidgetItem* parent = dragged->parent();
    if (!parent)
        return;
    int index = 0;
    // Dropped on the root: the entry becomes the first one, so that the root stays first
    // and every entry stays its child.
    if (target != root) {
        if (target->parent() != root)
            return;
        index = root->indexOfChild(target);
        if (root->indexOfChild(dragged) < index)
            --index;
    }
    const bool wasCurrent = TreeDB->currentItem() == dragged;
    parent->takeChild(parent->indexOfChild(dragged));
    root->insertChild(index, dragged);
    root->setExpanded(true);
    if (wasCurrent)
        TreeDB->setCurrentItem(dragged);
    RefreshCount();
    StoreCatalogue();
}

void TFrameDBLst::TreeDBMouseUp(QTreeWidgetItem* node, const QPoint& globalPos)
{
    TreeDB->setCurrentItem(node);
    if (PopMnuTreeDB->isEmpty()) {
        if (TMainWindowIntf* main = FrmMainIntf()) {
            const char* const names[] = {"ActDBOpen", "ActDBClose",      nullptr,    "ActDBAdd",
                                         "ActDBRemove", "ActDBRename", "ActDBProperties", "ActDBCopy"};
            for (const char* name : names) {
                if (name)
                    PopMnuTreeDB->addAction(main->Action(QLatin1String(name)));
                else
                    PopMnuTreeDB->addSeparator();
            }
        }
    }
    if (!PopMnuTreeDB->isEmpty())
        PopMnuTreeDB->popup(globalPos);
}
