#include "workspace/Work.h"

#include "data/CProviderTypes.h"
#include "data/Connection.h"
#include "data/Query.h"
#include "editor/SqlEdit.h"
#include "settings/IniFileEx.h"
#include "ui/ErrorHandler.h"
#include "ui/MainWindowIntf.h"
#include "ui/WorkerWait.h"
#include "workspace/DbNavigator.h"
#include "workspace/EditorRecovery.h"
#include "workspace/FieldComboBox.h"
#include "workspace/HeaderBar.h"
#include "workspace/ResultGrid.h"
#include "workspace/ResultModel.h"
#include "workspace/StatusBar.h"

#include <QAction>
#include <QComboBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

constexpr int DesignWidth = 751;
constexpr int DesignHeight = 549;
constexpr int SplitterWidth = 3;
constexpr int DesignHeaderHeight = 20;

// The design's header height fits its small font; a larger font gets a taller bar, so the
// caption is never cut off.
int HeaderHeightFor(const QWidget* widget) {
    return std::max(DesignHeaderHeight, widget->fontMetrics().height() + 6);
}
constexpr int DefaultRightWidth = 197;

QSplitter* NewSplitter(const char* name, Qt::Orientation orientation, QWidget* parent) {
    auto* splitter = new QSplitter(orientation, parent);
    splitter->setObjectName(QLatin1String(name));
    splitter->setHandleWidth(SplitterWidth);
    splitter->setChildrenCollapsible(false);
    return splitter;
}

QWidget* NewPanel(const char* name, QWidget* parent) {
    auto* panel = new QWidget(parent);
    panel->setObjectName(QLatin1String(name));
    return panel;
}

QListWidget* NewList(const char* name, QWidget* parent) {
    auto* list = new QListWidget(parent);
    list->setObjectName(QLatin1String(name));
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setUniformItemSizes(true);
    return list;
}

// The first size of a two-part splitter; the second part takes the rest.
void SetFirstSize(QSplitter* splitter, int size) {
    const QList<int> sizes = splitter->sizes();
    const int total = sizes.value(0) + sizes.value(1);
    splitter->setSizes({size, qMax(0, total - size)});
}

int FirstSize(const QSplitter* splitter) {
    return splitter->sizes().value(0);
}

const QString IdentLeftTop = QStringLiteral("PnlLeftTop");
const QString IdentLeft = QStringLiteral("PnlLeft");
const QString IdentRightTables = QStringLiteral("PnlRightTables");
const QString IdentRightFields = QStringLiteral("PnlRightFields");

} // namespace

TFrameWork::TFrameWork(QWidget* parent)
    : QWidget(parent) {
    ConnWork = new TConnection(this);
    ConnWork->setObjectName(QStringLiteral("ConnWork"));
    ConnWork->SetCommandTimeout(0);
    ConnWork->SetWaiter(&RunInWorkerCancellable); // a row post may wait for a lock
    Qry = new TQuery(this);
    Qry->setObjectName(QStringLiteral("Qry"));
    Qry->SetConnection(ConnWork);
    Qry->SetCommandTimeout(0);
    Qry->SetLockType(TLockType::Optimistic);
    connect(Qry, &TQuery::FetchProgress, this, &TFrameWork::QryFetchProgress);
    connect(Qry, &TQuery::FetchComplete, this, &TFrameWork::QryFetchComplete);
    CreateLayout();
}

TFrameWork::~TFrameWork() {
    AbandonExport();
    // The query goes before the grid: nothing may paint its rows in between.
    DetachGrid();
    SetWaitCursor(false);
}

QString TFrameWork::SettingsSection() const {
    return TIniFileEx::WorkspaceSection(m_databaseName);
}

void TFrameWork::CreateLayout() {
    QFont frameFont(QStringLiteral("Lucida Sans Typewriter"), 8);
    frameFont.setFamilies({QStringLiteral("Lucida Sans Typewriter"), QStringLiteral("DejaVu Sans Mono"),
                           QStringLiteral("Liberation Mono"), QStringLiteral("monospace")});
    frameFont.setStyleHint(QFont::TypeWriter);
    setFont(frameFont);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Splitter4 = NewSplitter("Splitter4", Qt::Horizontal, this);
    Splitter4->addWidget(CreateLeftSide());
    Splitter4->addWidget(CreateRightSide());
    Splitter4->setStretchFactor(0, 1);
    Splitter4->setStretchFactor(1, 0);
    layout->addWidget(Splitter4, 1);
    StatBar = new TStatusBar(this);
    layout->addWidget(StatBar);
    CreateMemSqlMenu();
    CreateListMenu();

    // Lay the frame out at its design size, so that the sizes set and read before it is
    // first shown are the real ones.
    resize(DesignWidth, DesignHeight);
    layout->activate();
    const int inner = DesignHeight - StatBar->height();
    Splitter4->setSizes({DesignWidth - DefaultRightWidth - SplitterWidth, DefaultRightWidth});
    Splitter1->setSizes({1, inner - 1 - SplitterWidth});
    Splitter3->setSizes({1, inner - 1 - SplitterWidth});
    Splitter2->setSizes({1, inner - 2 - 2 * SplitterWidth});
    ApplySizes();
}

void TFrameWork::ApplySizes() {
    SetFirstSize(Splitter1, m_sizeLeftTop);
    if (m_sizeLeft >= 0) {
        SetFirstSize(Splitter4, m_sizeLeft);
    } else {
        const QList<int> sizes = Splitter4->sizes();
        SetFirstSize(Splitter4, qMax(0, sizes.value(0) + sizes.value(1) - DefaultRightWidth));
    }
    SetFirstSize(Splitter3, m_sizeRightTables);
    SetFirstSize(Splitter2, m_sizeRightFields);
}

void TFrameWork::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The splitters only know their real extent once the frame sits in its tab; the sizes
    // are set again then, so that the saved sizes and the defaults hold as they are.
    if (!m_sizesShown) {
        m_sizesShown = true;
        ApplySizes();
        QTimer::singleShot(0, this, [this] { m_sizesSettled = true; });
    }
}

void TFrameWork::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The tab may still adjust its page after the first show.
    if (m_sizesShown && !m_sizesSettled)
        ApplySizes();
}

QWidget* TFrameWork::CreateLeftSide() {
    PnlLeft = NewPanel("PnlLeft", this);
    auto* layout = new QVBoxLayout(PnlLeft);
    layout->setContentsMargins(0, 0, 0, 0);
    Splitter1 = NewSplitter("Splitter1", Qt::Vertical, PnlLeft);
    layout->addWidget(Splitter1);

    PnlLeftTop = NewPanel("PnlLeftTop", Splitter1);
    auto* topLayout = new QVBoxLayout(PnlLeftTop);
    topLayout->setContentsMargins(0, 0, 0, 0);
    MemSql = new TSqlEdit(PnlLeftTop);
    MemSql->setObjectName(QStringLiteral("MemSql"));
    MemSql->setAccessibleName(QStringLiteral("SQL-Editor"));
    topLayout->addWidget(MemSql);
    Splitter1->addWidget(PnlLeftTop);

    // The result panel and the message label share the lower area; one is shown.
    PnlLeftBottomArea = NewPanel("PnlLeftBottomArea", Splitter1);
    auto* areaLayout = new QVBoxLayout(PnlLeftBottomArea);
    areaLayout->setContentsMargins(0, 0, 0, 0);
    areaLayout->addWidget(CreateResultPanel());
    LblText = new QLabel(PnlLeftBottomArea);
    LblText->setObjectName(QStringLiteral("LblText"));
    QFont bold = LblText->font();
    bold.setBold(true);
    LblText->setFont(bold);
    LblText->setWordWrap(true);
    LblText->setTextFormat(Qt::PlainText);
    LblText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LblText->setMargin(9);
    LblText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LblText->hide();
    areaLayout->addWidget(LblText, 1);
    Splitter1->addWidget(PnlLeftBottomArea);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    return PnlLeft;
}

QWidget* TFrameWork::CreateResultPanel() {
    PnlBottom = NewPanel("PnlBottom", PnlLeftBottomArea);
    auto* layout = new QVBoxLayout(PnlBottom);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    PnlLeftMiddle = new THeaderBar(QStringLiteral("PnlLeftMiddle"), {},
                                   QStringLiteral(":/icons/hdr-result.svg"), PnlBottom);
    auto* fieldList = new TFieldComboBox(PnlLeftMiddle);
    CbxFieldsSorted = fieldList;
    CbxFieldsSorted->setObjectName(QStringLiteral("CbxFieldsSorted"));
    CbxFieldsSorted->setAccessibleName(QStringLiteral("Feldliste"));
    // 145 pixels at the design's font, more for a larger one; when the pane is narrow the
    // list gives way first, so the navigator is never cut off.
    const double scale = FontScale(PnlLeftMiddle);
    CbxFieldsSorted->setMinimumWidth(int(60 * scale + 0.5));
    CbxFieldsSorted->setMaximumWidth(int(145 * scale + 0.5));
    connect(fieldList, &TFieldComboBox::DropDown, this,
            [this] { RunGuarded([this] { CbxFieldsDropDown(); }); });
    connect(fieldList, &TFieldComboBox::CloseUp, this,
            [this] { RunGuarded([this] { CbxFieldsCloseUp(); }); });
    PnlLeftMiddle->Tools()->addWidget(CbxFieldsSorted, 1);
    BtnReadOnly = new QToolButton(PnlLeftMiddle);
    BtnReadOnly->setObjectName(QStringLiteral("BtnReadOnly"));
    BtnReadOnly->setCheckable(true);
    BtnReadOnly->setAutoRaise(true);
    QFont bold = BtnReadOnly->font();
    bold.setBold(true);
    BtnReadOnly->setFont(bold);
    BtnReadOnly->setFixedWidth(std::max(28, QFontMetrics(bold).horizontalAdvance(QStringLiteral("RO")) + 10));
    connect(BtnReadOnly, &QToolButton::clicked, this, [this] { BtnReadOnlyClick(); });
    PnlLeftMiddle->Tools()->addWidget(BtnReadOnly);

    GrdResults = new TResultGrid(PnlBottom);
    Dsr = new TResultModel(this);
    Dsr->setObjectName(QStringLiteral("Dsr"));
    Dsr->SetHeaderFont(GrdResults->horizontalHeader()->font());
    GrdResults->setModel(Dsr);
    connect(GrdResults->horizontalHeader(), &QHeaderView::sectionResized, this,
            &TFrameWork::GrdResultsColumnResized);
    // An inserted or deleted record changes the count the fetch showed.
    const auto recount = [this] {
        if (Dsr->Recordset())
            SetStatusText(2, QLocale::system().toString(Dsr->Recordset()->RecordCount()));
    };
    connect(Dsr, &QAbstractItemModel::rowsInserted, this, recount);
    connect(Dsr, &QAbstractItemModel::rowsRemoved, this, recount);
    Nav = new TDbNavigator(GrdResults, Dsr, PnlLeftMiddle);
    Nav->SetRefreshHandler([this] { ExecuteSql(Qry->SqlText()); });
    PnlLeftMiddle->Tools()->addWidget(Nav);
    PnlLeftMiddle->Tools()->addStretch(0);
    // The left side never gets narrower than the header's tools at their smallest.
    PnlLeft->setMinimumWidth(PnlLeftMiddle->minimumSizeHint().width());
    // The design's 25 pixels fit its small font; a larger one needs a taller bar.
    PnlLeftMiddle->setFixedHeight(
        std::max({25, Nav->sizeHint().height() + 2, CbxFieldsSorted->sizeHint().height() + 2}));
    connect(GrdResults->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                Dsr->SetCurrentRow(current.row());
                Nav->UpdateButtons();
            });

    layout->addWidget(PnlLeftMiddle);
    layout->addWidget(GrdResults, 1);
    CreateGridMenu();
    ApplyReadOnlyMode();
    return PnlBottom;
}

QWidget* TFrameWork::CreateRightSide() {
    PnlRight = NewPanel("PnlRight", this);
    PnlRight->installEventFilter(this);
    auto* layout = new QVBoxLayout(PnlRight);
    layout->setContentsMargins(0, 0, 0, 0);
    Splitter3 = NewSplitter("Splitter3", Qt::Vertical, PnlRight);
    layout->addWidget(Splitter3);

    PnlRightTables = NewPanel("PnlRightTables", Splitter3);
    auto* tables = new QVBoxLayout(PnlRightTables);
    tables->setContentsMargins(3, 2, 3, 0);
    tables->setSpacing(1);
    PnlTables = new THeaderBar(QStringLiteral("PnlTables"), QStringLiteral("Tabellen"),
                               QStringLiteral(":/icons/hdr-tables.svg"), PnlRightTables);
    PnlTables->setFixedHeight(HeaderHeightFor(PnlTables));
    tables->addWidget(PnlTables);
    LbxTables = NewList("LbxTables", PnlRightTables);
    LbxTables->setAccessibleName(QStringLiteral("Tabellen"));
    LbxTables->setSortingEnabled(true);
    tables->addWidget(LbxTables, 1);
    connect(LbxTables, &QListWidget::itemClicked, this, [this] { LbxTablesClick(); });
    connect(LbxTables, &QListWidget::itemDoubleClicked, this, [this] { LbxTablesDblClick(); });
    Splitter3->addWidget(PnlRightTables);

    Splitter2 = NewSplitter("Splitter2", Qt::Vertical, Splitter3);
    PnlRightFields = NewPanel("PnlRightFields", Splitter2);
    auto* fields = new QVBoxLayout(PnlRightFields);
    fields->setContentsMargins(3, 2, 3, 0);
    fields->setSpacing(1);
    PnlFields = new THeaderBar(QStringLiteral("PnlFields"), QStringLiteral("Felder"),
                               QStringLiteral(":/icons/hdr-fields.svg"), PnlRightFields);
    PnlFields->setFixedHeight(HeaderHeightFor(PnlFields));
    PnlFields->Tools()->addStretch(1);
    BtnFieldsSort = new QToolButton(PnlFields);
    BtnFieldsSort->setObjectName(QStringLiteral("BtnFieldsSort"));
    BtnFieldsSort->setCheckable(true);
    BtnFieldsSort->setChecked(true);
    BtnFieldsSort->setAutoRaise(true);
    BtnFieldsSort->setToolTip(QStringLiteral("Feldliste sortieren"));
    BtnFieldsSort->setText(QStringLiteral("A-Z"));
    BtnFieldsSort->setFixedHeight(HeaderHeightFor(PnlFields) - 2);
    connect(BtnFieldsSort, &QToolButton::toggled, this, [this] { BtnFieldsSortClick(); });
    PnlFields->Tools()->addWidget(BtnFieldsSort);
    fields->addWidget(PnlFields);
    LbxFields = NewList("LbxFields", PnlRightFields);
    LbxFields->setAccessibleName(QStringLiteral("Felder"));
    LbxFields->setSortingEnabled(true);
    fields->addWidget(LbxFields, 1);
    Splitter2->addWidget(PnlRightFields);

    PnlRightHistory = NewPanel("PnlRightHistory", Splitter2);
    auto* history = new QVBoxLayout(PnlRightHistory);
    history->setContentsMargins(3, 2, 3, 3);
    history->setSpacing(1);
    PnlHeader = new THeaderBar(QStringLiteral("PnlHeader"), QStringLiteral("Historie"),
                               QStringLiteral(":/icons/hdr-history.svg"), PnlRightHistory);
    PnlHeader->setFixedHeight(HeaderHeightFor(PnlHeader));
    history->addWidget(PnlHeader);
    CreateHistory();
    history->addWidget(GrdHistory, 1);
    Splitter2->addWidget(PnlRightHistory);
    Splitter2->setStretchFactor(0, 0);
    Splitter2->setStretchFactor(1, 1);

    Splitter3->addWidget(Splitter2);
    // Saved heights hold as they are, even when the lists would like more room.
    for (QWidget* pane : {PnlRightTables, PnlRightFields, PnlRightHistory, static_cast<QWidget*>(Splitter2)})
        pane->setMinimumHeight(1);
    Splitter3->setStretchFactor(0, 0);
    Splitter3->setStretchFactor(1, 1);
    return PnlRight;
}

void TFrameWork::CreateMemSqlMenu() {
    PopMnuMemSql = new QMenu(this);
    PopMnuMemSql->setObjectName(QStringLiteral("PopMnuMemSql"));
    if (TMainWindowIntf* main = FrmMainIntf()) {
        const char* entries[] = {"ActSqlExec",      "ActSqlExecSelected", "ActSqlExecLine",
                                 "ActSqlExecLines", "ActSqlExecTable",    "-",
                                 "ActEditSearch",   "ActEditSearchAgain", "-",
                                 "ActDBClose"};
        for (const char* name : entries) {
            if (name[0] == '-')
                PopMnuMemSql->addSeparator();
            else
                PopMnuMemSql->addAction(main->Action(QLatin1String(name)));
        }
    }
    MemSql->SetContextMenu(PopMnuMemSql);
}

bool TFrameWork::eventFilter(QObject* watched, QEvent* event) {
    if (watched == PnlRight && event->type() == QEvent::Resize)
        PnlRightResize();
    else if ((watched == LbxTables || watched == LbxFields) && ListKeyEvent(event))
        return true;
    else if (GrdHistory && watched == GrdHistory->viewport()) {
        // The panel's resize comes before its children are laid out (a workspace opened
        // into a further tab): the grid's own new size refits the columns as well.
        if (event->type() == QEvent::Resize)
            FitHistoryColumns();
        else if (event->type() == QEvent::MouseMove)
            GrdHistoryMouseMove(static_cast<QMouseEvent*>(event)->position().toPoint());
        else if (event->type() == QEvent::ToolTip)
            return true; // the mouse move shows the statement at once
    }
    return QWidget::eventFilter(watched, event);
}

void TFrameWork::PnlRightResize() {
    FitHistoryColumns();
}

int TFrameWork::PnlLeftWidth() const {
    return FirstSize(Splitter4);
}

void TFrameWork::OpenDatabase(const QString& name, const QString& connectionString) {
    LblText->hide();
    PnlBottom->show();
    m_columnWidths.clear();
    m_databaseName = name;

    ConnectWork(connectionString);
    // A distant server with many tables or types takes a while to list them: the window
    // repaints meanwhile. No statement of this workspace can run yet.
    RefreshTables(true);
    std::unique_ptr<TProviderTypes> types;
    RunInWorker([this, &types] { types = std::make_unique<TProviderTypes>(*ConnWork); });
    m_providerTypes = std::move(types);

    TIniFileEx& store = *SettingsStore();
    QStringList lines;
    store.ReadValueList(TIniFileEx::WorkspaceSqlSection(m_databaseName), lines);
    MemSql->SetLines(lines);
    StartRecovery(lines);

    const QString section = SettingsSection();
    m_sizeLeftTop = store.ReadInteger(section, IdentLeftTop, m_sizeLeftTop);
    if (store.ReadString(section, IdentLeft, QString()).isEmpty())
        m_sizeLeft = -1;
    else
        m_sizeLeft = store.ReadInteger(section, IdentLeft, PnlLeftWidth());
    m_sizeRightTables = store.ReadInteger(section, IdentRightTables, m_sizeRightTables);
    m_sizeRightFields = store.ReadInteger(section, IdentRightFields, m_sizeRightFields);
    ApplySizes();
}

void TFrameWork::CloseDatabase() {
    StopOrAwaitExport();
    PostGridEdits();
    TIniFileEx& store = *SettingsStore();
    QStringList lines = MemSql->Lines();
    // An empty editor has one empty line; storing it would keep a section for nothing.
    if (lines.size() == 1 && lines.first().isEmpty())
        lines.clear();
    store.WriteValueList(TIniFileEx::WorkspaceSqlSection(m_databaseName), lines);
    const QString section = SettingsSection();
    store.WriteInteger(section, IdentLeftTop, FirstSize(Splitter1));
    store.WriteInteger(section, IdentLeft, PnlLeftWidth());
    store.WriteInteger(section, IdentRightTables, FirstSize(Splitter3));
    store.WriteInteger(section, IdentRightFields, FirstSize(Splitter2));
    // The copy goes once the text is stored; a store that cannot be written keeps it.
    if (m_recovery && !store.ReadOnly())
        m_recovery->Discard();
}

void TFrameWork::StartRecovery(const QStringList& storedLines) {
    m_recovery = std::make_unique<TEditorRecovery>(
        MemSql, TEditorRecovery::FolderBeside(SettingsStore()->FileName()), m_databaseName,
        SettingsStore()->FileName());
    connect(m_recovery.get(), &TEditorRecovery::WriteFailed, this,
            [this](const QString& message) { SetStatusText(5, message); });
    if (!m_recovery->Failure().isEmpty())
        SetStatusText(5, m_recovery->Failure());
    if (const std::optional<TEditorRecovery::TCopy> copy = m_recovery->Recovered(storedLines)) {
        MemSql->SetLines(copy->Lines);
        SetStatusText(5, QStringLiteral("SQL-Text aus der Wiederherstellungskopie vom %1")
                             .arg(QLocale().toString(copy->Written, QLocale::ShortFormat)));
    }
    m_recovery->Start();
}

QWidget* TFrameWork::MemSqlWidget() const {
    return MemSql;
}
