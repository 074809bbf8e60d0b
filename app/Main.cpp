#include "app/Main.h"

#include "about/About.h"
#include "catalogue/DBLst.h"
#include "history/HistoryStore.h"
#include "settings/Error.h"
#include "settings/IniFileEx.h"
#include "ui/ErrorHandler.h"
#include "ui/FormPlacement.h"
#include "ui/MsgBox.h"
#include "workspace/ResultGrid.h"
#include "workspace/HistoryDialog.h"
#include "workspace/Work.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenuBar>
#include <QScreen>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// Moves the keyboard focus to the next (step 1) or previous (-1) pane that is shown: the
// editor, the result grid, the tables list, the fields list and the history of the current
// workspace, and the catalogue.
void MoveFocusToPane(TFrmMain* main, int step) {
    QList<QWidget*> panes;
    if (TFrameWork* work = main->CurrentWorkspace())
        panes = {work->MemSqlWidget(), work->GrdResults, work->LbxTables,
                 work->LbxFields, work->GrdHistory};
    panes.append(main->FrameDBLst->TreeDB);
    panes.removeIf([](const QWidget* pane) { return !pane->isVisible(); });
    if (panes.isEmpty())
        return;
    const QWidget* focus = QApplication::focusWidget();
    qsizetype at = -1;
    for (qsizetype i = 0; i < panes.size(); ++i)
        if (focus && (panes[i] == focus || panes[i]->isAncestorOf(focus)))
            at = i;
    const qsizetype next = at < 0 ? (step > 0 ? 0 : panes.size() - 1) : (at + step + panes.size()) % panes.size();
    panes[next]->setFocus(step > 0 ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

// A database's name is data: an "&" in it is shown, not taken for a tab's mnemonic.
QString TabCaption(const QString& name) {
    return QString(name).replace(u'&', QStringLiteral("&&"));
}

const QString SectionMain = QStringLiteral("FrmMain");
const QString IdentPaneWidth = QStringLiteral("FrameDBLst");
const QString IdentShowWhileFetching = QStringLiteral("ShowRowsWhileFetching");
constexpr int DefaultPaneWidth = 185;

struct TActionDef {
    const char* name;
    const char* caption;
    const char* hint;
    const char* category;
    int image;
    QList<QKeySequence> shortcuts;
};

// Roles of the images by index; the first name is our own icon, the second the theme's.
struct TImageDef {
    const char* resource;
    const char* theme;
    QStyle::StandardPixmap fallback;
};

const TImageDef Images[] = {
    {"db-open", "document-open", QStyle::SP_DialogOpenButton},
    {"db-new", "list-add", QStyle::SP_FileDialogNewFolder},
    {"db-remove", "list-remove", QStyle::SP_TrashIcon},
    {"sql-exec", "media-playback-start", QStyle::SP_MediaPlay},
    {"sql-exec-selected", "media-seek-forward", QStyle::SP_MediaSeekForward},
    {"sql-exec-line", "go-next", QStyle::SP_ArrowRight},
    {"db-close", "document-close", QStyle::SP_DialogCloseButton},
    {"db-properties", "document-properties", QStyle::SP_FileDialogDetailedView},
    {"db-copy", "edit-copy", QStyle::SP_FileDialogContentsView},
    {"sql-cancel", "process-stop", QStyle::SP_BrowserStop},
    {"sql-exec-lines", "go-last", QStyle::SP_MediaSkipForward},
    {"sql-table", "x-office-spreadsheet", QStyle::SP_FileDialogListView},
};

class TFixedTipButton : public QToolButton {
public:
    TFixedTipButton(const QString& tip, QWidget* parent)
        : QToolButton(parent)
        , m_tip(tip) {}

protected:
    // The button keeps its own tool tip when the action it shows changes.
    void actionEvent(QActionEvent* event) override {
        QToolButton::actionEvent(event);
        setToolTip(m_tip);
    }

private:
    QString m_tip;
};

} // namespace

TFrmMain::TFrmMain(QWidget* parent)
    : QMainWindow(parent) {
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(QApplication::applicationName());
    SetFrmMainIntf(this);

    for (const TImageDef& def : Images) {
        const QString resource = QStringLiteral(":/icons/%1.svg").arg(QLatin1String(def.resource));
        ImageList.append(QFile::exists(resource) ? QIcon(resource)
                                                 : QIcon::fromTheme(QLatin1String(def.theme),
                                                                    style()->standardIcon(def.fallback)));
    }

    CreateActions();

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    Splitter1 = new QSplitter(Qt::Horizontal, central);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    FrameDBLst = new TFrameDBLst(Splitter1);
    PageControl = new QTabWidget(Splitter1);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    PageControl->setDocumentMode(true);
    Splitter1->addWidget(FrameDBLst);
    Splitter1->addWidget(PageControl);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    layout->addWidget(Splitter1);
    setCentralWidget(central);

    CreateMenus();
    CreateToolBar();

    connect(PageControl, &QTabWidget::currentChanged, this, [this](int index) { PageControlChange(index); });
    connect(Splitter1, &QSplitter::splitterMoved, this, [this] { m_paneWidthMoved = true; });

    resize(765, 696);
    Splitter1->setSizes({DefaultPaneWidth, 765 - DefaultPaneWidth});
    Action(QStringLiteral("ActSqlCancel"))->setEnabled(false);

    // The lasting statement history beside the settings store; a file that cannot be written
    // is said once and the program goes on without it.
    if (TIniFileEx* settings = SettingsStore()) {
        auto* history = new THistoryStore(THistoryStore::DefaultFile(settings->FileName()),
                                          settings->ReadInteger(QStringLiteral("History"), QStringLiteral("MaxEntries"),
                                                                int(THistoryStore::DefaultMaxEntries)),
                                          this);
        connect(history, &THistoryStore::Failure, this,
                [this](const QString& message) { MsgBox::Show(message, MsgBox::Kind::Warning, {MsgBox::Button::Ok}, this); });
        SetHistoryStore(history);
    }
}

TFrmMain::~TFrmMain() {
    if (FrmMainIntf() == this)
        SetFrmMainIntf(nullptr);
    if (HistoryStore() && HistoryStore()->parent() == this)
        SetHistoryStore(nullptr);
}

void TFrmMain::CreateActions() {
    using K = QKeySequence;
    const TActionDef defs[] = {
        {"ActDBOpen",
         "Datenbank ö&ffnen",
         "Datenbank öffnen",
         "DB",
         0,
         {K(Qt::CTRL | Qt::Key_O), K(Qt::CTRL | Qt::Key_Q)}},
        {"ActDBClose", "Datenbank s&chließen", "Datenbank schließen", "DB", 6, {K(Qt::CTRL | Qt::Key_F4)}},
        {"ActDBInfo", "Datenbank-&Info", "", "DB", -1, {}},
        {"ActDBAdd", "&Neue Datenbank", "Datenbank ergänzen", "DB", 1, {}},
        {"ActDBRemove", "Datenbank &entfernen", "Datenbank entfernen", "DB", 2, {}},
        {"ActDBCopy", "Datenbank &kopieren", "Datenbank kopieren", "DB", 8, {}},
        {"ActDBRename", "Datenbank &umbenennen", "Datenbank umbenennen", "DB", -1, {K(Qt::Key_F2)}},
        {"ActDBProperties",
         "&Datenbankeigenschaften",
         "Datenbankeigenschaften",
         "DB",
         7,
         {K(Qt::CTRL | Qt::Key_F2)}},
        {"ActDBConnectionString",
         "Connection&String bearbeiten",
         "ConnectionString bearbeiten",
         "DB",
         -1,
         {K(Qt::CTRL | Qt::SHIFT | Qt::Key_F2)}},
        {"ActSqlExec",
         "SQL &ausführen",
         "SQL ausführen",
         "SQL",
         3,
         {K(Qt::CTRL | Qt::Key_Return), K(Qt::CTRL | Qt::Key_Enter)}},
        {"ActSqlExecSelected", "Se&lektierte ausführen", "Selektierte ausführen", "SQL", 4, {K(Qt::Key_F5)}},
        {"ActSqlExecLine", "&Zeile ausführen", "Aktuelle Zeile ausführen", "SQL", 5, {K(Qt::Key_F6)}},
        {"ActSqlExecLines",
         "Zeilen&gruppe ausführen",
         "Zusammenstehende Zeilengruppe ausführen",
         "SQL",
         10,
         {K(Qt::Key_F7)}},
        {"ActSqlExecTable",
         "&Tabelle anzeigen",
         "Tabelle anzeigen (select * from ...)",
         "SQL",
         11,
         {K(Qt::Key_F8)}},
        {"ActSqlHistory", "&Verlauf durchsuchen...", "", "SQL", -1, {K(Qt::CTRL | Qt::SHIFT | Qt::Key_H)}},
        {"ActSqlCancel", "SQL a&bbrechen", "SQL abbrechen", "SQL", 9, {K(Qt::CTRL | Qt::Key_Backspace)}},
        {"ActSqlExport", "Ergebnis e&xportieren...", "", "SQL", -1, {K(Qt::CTRL | Qt::SHIFT | Qt::Key_E)}},
        {"ActSqlShowWhileFetching", "Zeilen &schon beim Laden zeigen", "", "SQL", -1, {}},
        {"ActEditSearch", "&Suchen", "", "Edit", -1, {K(Qt::CTRL | Qt::Key_F)}},
        {"ActEditSearchAgain", "&Wiederholen", "", "Edit", -1, {K(Qt::Key_F3)}},
        {"ActHelpAbout", "&Info über...", "", "Help", -1, {}},
        // The editor takes Tab for itself: these keys lead out of it, and through every pane.
        {"ActFocusNext", "Nächster &Bereich", "", "Edit", -1, {K(Qt::CTRL | Qt::Key_Tab)}},
        {"ActFocusPrevious", "&Vorheriger Bereich", "", "Edit", -1, {K(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab)}},
    };

    ActionListMain = new QObject(this);
    ActionListMain->setObjectName(QStringLiteral("ActionListMain"));
    for (const TActionDef& def : defs) {
        auto* action = new QAction(QString::fromUtf8(def.caption), ActionListMain);
        action->setObjectName(QLatin1String(def.name));
        const QString hint = QString::fromUtf8(def.hint);
        // The tip shows the caption as read, without its mnemonic marker.
        action->setToolTip(hint.isEmpty() ? QString::fromUtf8(def.caption).remove(u'&') : hint);
        action->setStatusTip(hint);
        action->setProperty("Category", QLatin1String(def.category));
        action->setProperty("ImageIndex", def.image);
        if (def.image >= 0)
            action->setIcon(ImageList.value(def.image));
        action->setShortcuts(def.shortcuts);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action); // shortcuts act window-wide
    }

    auto on = [this](const char* name, std::function<void()> handler) {
        connect(Action(QLatin1String(name)), &QAction::triggered, this,
                [handler = std::move(handler)] { RunGuarded(handler); });
    };
    auto onWorkspace = [this, on](const char* name, void (TFrameWork::*method)()) {
        on(name, [this, method] {
            if (TFrameWork* work = CurrentWorkspace())
                (work->*method)();
        });
    };
    on("ActDBOpen", [this] { FrameDBLst->OpenSelected(); });
    on("ActDBClose", [this] { ActDBCloseExecute(); });
    onWorkspace("ActDBInfo", &TFrameWork::ShowConnectionInfo);
    on("ActDBAdd", [this] { FrameDBLst->AddDatabase(QString()); });
    on("ActDBCopy", [this] { FrameDBLst->CopyDatabase(); });
    on("ActDBProperties", [this] { FrameDBLst->EditProperties(); });
    on("ActDBRemove", [this] { FrameDBLst->RemoveDatabase(); });
    on("ActDBRename", [this] { FrameDBLst->RenameDatabase(); });
    on("ActDBConnectionString", [this] { FrameDBLst->EditConnectionString(); });
    onWorkspace("ActSqlExec", &TFrameWork::ExecuteAll);
    onWorkspace("ActSqlExecSelected", &TFrameWork::ExecuteSelected);
    onWorkspace("ActSqlExecLine", &TFrameWork::ExecuteLine);
    onWorkspace("ActSqlExecLines", &TFrameWork::ExecuteLineGroup);
    onWorkspace("ActSqlExecTable", &TFrameWork::ExecuteTable);
    onWorkspace("ActSqlCancel", &TFrameWork::CancelSql);
    onWorkspace("ActSqlExport", &TFrameWork::ExportResult);
    on("ActSqlHistory", [this] { ShowHistoryDialog(CurrentWorkspace()); });
    // Stored when changed: the choice holds for the next run of every workspace.
    Action(QStringLiteral("ActSqlShowWhileFetching"))->setCheckable(true);
    connect(Action(QStringLiteral("ActSqlShowWhileFetching")), &QAction::toggled, this, [](bool on) {
        RunGuarded([on] {
            if (TIniFileEx* store = SettingsStore(); store && !store->ReadOnly())
                store->WriteInteger(SectionMain, IdentShowWhileFetching, on ? 1 : 0);
        });
    });
    on("ActEditSearch", [this] { ActEditSearchExecute(); });
    on("ActEditSearchAgain", [this] { ActEditSearchAgainExecute(); });
    on("ActHelpAbout", [this] { ActHelpAboutExecute(); });
    on("ActFocusNext", [this] { MoveFocusToPane(this, 1); });
    on("ActFocusPrevious", [this] { MoveFocusToPane(this, -1); });
}

void TFrmMain::CreateMenus() {
    MainMenu = menuBar();
    MainMenu->setObjectName(QStringLiteral("MainMenu"));
    auto fill = [this](const QString& title, const char* objectName,
                       std::initializer_list<const char*> names) {
        QMenu* menu = MainMenu->addMenu(title);
        menu->setObjectName(QLatin1String(objectName));
        for (const char* name : names) {
            if (!name)
                menu->addSeparator();
            else
                menu->addAction(Action(QLatin1String(name)));
        }
        return menu;
    };
    QMenu* file =
        fill(QStringLiteral("&Datei"), "MnuFile",
             {"ActDBOpen", "ActDBClose", "ActDBInfo", nullptr, "ActDBAdd", "ActDBRemove", "ActDBCopy",
              nullptr, "ActDBRename", "ActDBProperties", "ActDBConnectionString", nullptr});
    QAction* exit = file->addAction(QStringLiteral("&Beenden"));
    exit->setObjectName(QStringLiteral("MnuFileExit"));
    connect(exit, &QAction::triggered, this, [this] { close(); });
    fill(QStringLiteral("&Bearbeiten"), "MnuEdit",
         {"ActEditSearch", "ActEditSearchAgain", nullptr, "ActFocusNext", "ActFocusPrevious"});
    fill(QStringLiteral("&SQL"), "MnuSql",
         {"ActSqlExec", "ActSqlExecSelected", "ActSqlExecLine", "ActSqlExecLines", "ActSqlExecTable", "ActSqlHistory",
          nullptr, "ActSqlCancel", nullptr, "ActSqlExport", nullptr, "ActSqlShowWhileFetching"});
    fill(QStringLiteral("&Hilfe"), "MnuHelp", {"ActHelpAbout"});
}

void TFrmMain::CreateToolBar() {
    ToolBarMain = addToolBar(QStringLiteral("Datenbanken"));
    ToolBarMain->setObjectName(QStringLiteral("ToolBarMain"));
    ToolBarMain->setMovable(false);
    ToolBarMain->setIconSize(QSize(16, 16));
    ToolBarMain->setToolButtonStyle(Qt::ToolButtonIconOnly);
    auto add = [this](const char* name) {
        ToolBarMain->addAction(Action(QLatin1String(name)));
    };
    add("ActDBOpen");
    add("ActDBClose");
    ToolBarMain->addSeparator();
    add("ActDBAdd");
    auto* remove = new TFixedTipButton(QStringLiteral("Datenbank aus der Liste entfernen"), ToolBarMain);
    remove->setObjectName(QStringLiteral("BtnRemove"));
    remove->setAutoRaise(true);
    remove->setDefaultAction(Action(QStringLiteral("ActDBRemove")));
    remove->setToolTip(QStringLiteral("Datenbank aus der Liste entfernen"));
    ToolBarMain->addWidget(remove);
    add("ActDBProperties");
    add("ActDBCopy");
    ToolBarMain->addSeparator();
    for (const char* name : {"ActSqlExec", "ActSqlExecSelected", "ActSqlExecLine", "ActSqlExecLines",
                             "ActSqlExecTable", "ActSqlCancel"})
        add(name);
}

QAction* TFrmMain::Action(const QString& name) const {
    auto* action = ActionListMain->findChild<QAction*>(name, Qt::FindDirectChildrenOnly);
    Q_ASSERT_X(action, "TFrmMain::Action", qPrintable(name));
    return action;
}

bool TFrmMain::IsCatalogueShortcutInWorkspace(const QKeyEvent* key) const {
    const QWidget* focus = QApplication::focusWidget();
    if (!focus || !PageControl->isAncestorOf(focus))
        return false;
    const QKeySequence pressed(key->keyCombination());
    for (const char* name : {"ActDBOpen", "ActDBAdd", "ActDBRemove", "ActDBCopy", "ActDBRename",
                             "ActDBProperties", "ActDBConnectionString"})
        for (const QKeySequence& shortcut : Action(QLatin1String(name))->shortcuts())
            if (pressed.matches(shortcut) == QKeySequence::ExactMatch)
                return true;
    return false;
}

bool TFrmMain::event(QEvent* event) {
    // The key goes to the workspace control as an ordinary key (F2 edits a grid cell there)
    // instead of renaming or opening a catalogue entry behind the user's back.
    if (event->type() == QEvent::ShortcutOverride &&
        IsCatalogueShortcutInWorkspace(static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return QMainWindow::event(event);
}

QString TFrmMain::PlacementSection() {
    return SectionMain;
}

void TFrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    RunGuarded([this] { FormShow(); });
}

void TFrmMain::FormShow() {
    // Every step runs even when one before it failed, so the window is never left half set
    // up; what failed is shown once the window is complete and on the screen.
    QList<std::exception_ptr> failures;
    const auto step = [&failures](const std::function<void()>& run) {
        try {
            run();
        } catch (...) {
            failures.append(std::current_exception());
        }
    };
    step([this] { FrameDBLst->LoadCatalogue(); });
    step([this] {
        RestoreFormPlacement(*SettingsStore(), SectionMain, this);
        m_placementRead = true;
    });
    step([this] {
        SetCatalogueWidth(SettingsStore()->ReadInteger(SectionMain, IdentPaneWidth, CatalogueWidth()));
        m_paneWidthRead = true;
    });
    step([this] {
        const QSignalBlocker block(Action(QStringLiteral("ActSqlShowWhileFetching")));
        Action(QStringLiteral("ActSqlShowWhileFetching"))
            ->setChecked(SettingsStore()->ReadInteger(SectionMain, IdentShowWhileFetching, 0) != 0);
    });
    // The window system may still shift the window; only a new size or state is the user's.
    m_shownPlacement = {windowState(), normalGeometry().size()};
    UpdateActions();
    const bool readOnly = SettingsStore()->ReadOnly();
    const QString openToOthers = SettingsStore()->OpenToOthers();
    const QString file = SettingsStore()->FileName();
    QTimer::singleShot(0, this, [this, failures, readOnly, openToOthers, file] {
        for (const std::exception_ptr& failure : failures) {
            try {
                std::rethrow_exception(failure);
            } catch (const std::exception& e) {
                ShowException(e);
            }
        }
        if (readOnly)
            MsgBox::Show(
                QStringLiteral("Die Einstellungsdatei '%1' ist schreibgeschützt. Die Einstellungen sind "
                               "gelesen, aber was sich ändert, wird nicht darin gespeichert.")
                    .arg(file),
                MsgBox::Kind::Warning, {MsgBox::Button::Ok}, this);
        if (!openToOthers.isEmpty())
            MsgBox::Show(
                QStringLiteral("Die Einstellungsdatei '%1' bleibt für andere Benutzer lesbar (%2). Sie "
                               "enthält die Verbindungszeichenfolgen samt Kennwörtern.")
                    .arg(file, openToOthers),
                MsgBox::Kind::Warning, {MsgBox::Button::Ok}, this);
    });
}

void TFrmMain::closeEvent(QCloseEvent* event) {
    try {
        FormClose();
        event->accept();
    } catch (const std::exception& e) {
        // The window stays open so that closing can be tried again; the catalogue in the
        // tree must survive that, so it is read back when it was already written.
        event->ignore();
        if (FrameDBLst->Root() == nullptr)
            RunGuarded([this] { FrameDBLst->LoadCatalogue(); });
        if (dynamic_cast<const TAbort*>(&e))
            return;
        MsgBox::ApplicationError(ErrorBoxText(ErrorMessage(e)) +
                                 QStringLiteral("\r\n\r\nDas Fenster bleibt geöffnet, damit nichts verloren "
                                                "geht. Erneutes Schließen versucht das Speichern noch einmal."));
    }
}

void TFrmMain::FormClose() {
    FrameDBLst->SaveCatalogue();
    for (int i = 0; i < PageControl->count(); ++i)
        WorkspaceOfPage(PageControl->widget(i))->CloseDatabase();
    // A stored value that could not be read at start is only replaced by what the user chose.
    if (m_placementRead || m_shownPlacement != qMakePair(windowState(), normalGeometry().size()))
        SaveFormPlacement(*SettingsStore(), SectionMain, this);
    if (m_paneWidthRead || m_paneWidthMoved)
        SettingsStore()->WriteInteger(SectionMain, IdentPaneWidth, CatalogueWidth());
}

int TFrmMain::CatalogueWidth() const {
    return Splitter1->sizes().value(0, DefaultPaneWidth);
}

void TFrmMain::SetCatalogueWidth(int width) {
    const QList<int> sizes = Splitter1->sizes();
    const int total = sizes.value(0) + sizes.value(1);
    Splitter1->setSizes({width, qMax(0, total - width)});
}

TFrameWork* TFrmMain::WorkspaceOfPage(QWidget* page) const {
    if (!page)
        return nullptr;
    for (QObject* child : page->children())
        if (auto* work = qobject_cast<TFrameWork*>(child))
            return work;
    throw TError(QStringLiteral("Interne Fehler: FrameWorkCurrent kann nicht gefunden werden"));
}

void TFrmMain::RenameWorkspaces(const QString& from, const QString& to) {
    for (int i = 0; i < PageControl->count(); ++i) {
        TFrameWork* work = WorkspaceOfPage(PageControl->widget(i));
        if (work->DatabaseName() != from)
            continue;
        work->SetDatabaseName(to);
        PageControl->setTabText(i, TabCaption(to));
    }
    UpdateCaption();
}

TFrameWork* TFrmMain::CurrentWorkspace() const {
    return WorkspaceOfPage(PageControl->currentWidget());
}

QString TFrmMain::NewFrameName() const {
    QSet<QString> taken;
    for (QWidget* widget : QApplication::allWidgets())
        if (qobject_cast<TFrameWork*>(widget))
            taken.insert(widget->objectName());
    for (int n = 1; n <= 1000; ++n) {
        const QString name = QStringLiteral("Framework%1").arg(n);
        if (!taken.contains(name))
            return name;
    }
    return QStringLiteral("Framework1000");
}

void TFrmMain::OpenWorkspace(const QString& name, const QString& connectionString) {
    auto work = std::make_unique<TFrameWork>();
    try {
        const QString frameName = NewFrameName();
        for (QWidget* widget : QApplication::allWidgets())
            if (widget != work.get() && qobject_cast<TFrameWork*>(widget) &&
                widget->objectName() == frameName)
                throw TError(
                    QStringLiteral("Komponente mit der Bezeichnung %1 existiert bereits").arg(frameName));
        work->setObjectName(frameName);
        work->OpenDatabase(name, connectionString);
    } catch (const TAbort&) {
        throw;
    } catch (const std::exception& e) {
        throw TError(QStringLiteral("Datenbank kann nicht geöffnet werden, Fehlermeldung: \r\n") +
                     ErrorMessage(e));
    }

    const int paneWidth = CatalogueWidth();
    auto* page = new QWidget(PageControl);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    TFrameWork* workspace = work.release();
    workspace->setParent(page);
    layout->addWidget(workspace);
    m_switchingByProgram = true;
    PageControl->addTab(page, TabCaption(name));
    PageControl->setCurrentWidget(page);
    m_switchingByProgram = false;
    m_activePage = page;
    KeepCatalogueWidth(paneWidth);
    if (QWidget* editor = workspace->MemSqlWidget())
        editor->setFocus();
    UpdateCaption();
}

void TFrmMain::KeepCatalogueWidth(int width) {
    // The pane keeps the width the user gave it: a workspace that needs more room than the
    // tabs have widens the window, as far as the screen allows, instead of squeezing the pane.
    centralWidget()->layout()->activate();
    const int needed = width + Splitter1->handleWidth() + PageControl->minimumSizeHint().width();
    const int shortfall = needed - Splitter1->width();
    if (shortfall > 0 && !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
        int newWidth = this->width() + shortfall;
        if (const QScreen* screen = this->screen())
            newWidth = qMin(newWidth, screen->availableGeometry().width());
        if (newWidth > this->width())
            resize(newWidth, height());
        centralWidget()->layout()->activate();
    }
    SetCatalogueWidth(width);
}

void TFrmMain::UpdateCaption() {
    if (TFrameWork* work = CurrentWorkspace())
        setWindowTitle(QApplication::applicationName() + QStringLiteral(" - ") + work->DatabaseName());
}

void TFrmMain::UpdateActions() {
    const bool selected = FrameDBLst->HasSelectedDatabase();
    for (const char* name :
         {"ActDBOpen", "ActDBProperties", "ActDBCopy", "ActDBRename", "ActDBRemove", "ActDBConnectionString"})
        Action(QLatin1String(name))->setEnabled(selected);
    const bool tabs = PageControl->count() > 0;
    Action(QStringLiteral("ActDBClose"))->setEnabled(tabs);
    Action(QStringLiteral("ActDBInfo"))->setEnabled(tabs);
    Action(QStringLiteral("ActSqlHistory"))->setEnabled(tabs);
    TFrameWork* work = tabs ? CurrentWorkspace() : nullptr;
    const bool busy = work && work->Busy();
    for (const char* name :
         {"ActSqlExec", "ActSqlExecSelected", "ActSqlExecLine", "ActSqlExecLines", "ActSqlExecTable"})
        Action(QLatin1String(name))->setEnabled(tabs && !busy);
    Action(QStringLiteral("ActSqlCancel"))->setEnabled(tabs && (busy || work->Exporting()));
    Action(QStringLiteral("ActSqlExport"))->setEnabled(tabs && work->CanExport());
}

void TFrmMain::PageControlChange(int) {
    QWidget* page = PageControl->currentWidget();
    if (!m_switchingByProgram && m_activePage && page != m_activePage &&
        PageControl->indexOf(m_activePage) >= 0) {
        // The switch cannot be vetoed before it happens; while the active workspace is busy
        // it is undone at once.
        TFrameWork* active = WorkspaceOfPage(m_activePage);
        if (active && active->Busy()) {
            const QSignalBlocker block(PageControl);
            PageControl->setCurrentWidget(m_activePage);
            return;
        }
    }
    m_activePage = page;
    if (m_switchingByProgram)
        return;
    RunGuarded([this] {
        UpdateCaption();
        UpdateActions();
    });
}

void TFrmMain::ActDBCloseExecute() {
    QWidget* page = PageControl->currentWidget();
    if (!page)
        return;
    WorkspaceOfPage(page)->CloseDatabase();
    const int index = PageControl->indexOf(page);
    const bool wasLast = index == PageControl->count() - 1;
    m_switchingByProgram = true;
    PageControl->removeTab(index);
    m_activePage = nullptr;
    delete page;
    if (PageControl->count() > 0)
        PageControl->setCurrentIndex(wasLast ? 0 : index);
    m_switchingByProgram = false;
    m_activePage = PageControl->currentWidget();
    if (PageControl->count() > 0) {
        UpdateCaption();
        if (TFrameWork* work = CurrentWorkspace())
            if (QWidget* editor = work->MemSqlWidget())
                editor->setFocus();
    } else {
        setWindowTitle(QApplication::applicationName());
    }
    UpdateActions();
}

void TFrmMain::ActEditSearchExecute() {
    TFrameWork* work = PageControl->count() > 0 ? CurrentWorkspace() : nullptr;
    if (work && work->CanSearch())
        work->ShowFindDialog();
}

void TFrmMain::ActEditSearchAgainExecute() {
    TFrameWork* work = PageControl->count() > 0 ? CurrentWorkspace() : nullptr;
    if (work && work->CanSearch())
        work->FindNext();
}

void TFrmMain::ActHelpAboutExecute() {
    TFrmDlgAbout dialog(this, this);
    dialog.exec();
}
