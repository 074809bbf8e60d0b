#include "about/About.h"

#include "about/SystemInfo.h"
#include "about/VersionInfo.h"
#include "settings/Error.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr QSize ClientSize(413, 343);
constexpr QSize ButtonSize(87, 27);
// Room below the button, and the space each page keeps free for the button lying on it.
constexpr int ButtonBottomGap = 13;
constexpr int PageBottomMargin = 48;

QLabel* ValueLabel(const char* name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// A path label clips a long path instead of widening the dialog; the tool tip keeps it whole.
void SetPath(QLabel* label, const QString& path) {
    label->setText(path);
    label->setToolTip(path);
}

QGroupBox* Group(const char* name, const QString& caption, QWidget* parent) {
    auto* group = new QGroupBox(caption, parent);
    group->setObjectName(QLatin1String(name));
    return group;
}

// Group captions are bold, their contents keep the dialog's font.
void MakeCaptionBold(QGroupBox* group, const QFont& font) {
    QFont bold = font;
    bold.setBold(true);
    group->setFont(bold);
    QFont plain = font;
    plain.setBold(false);
    for (QWidget* child : group->findChildren<QWidget*>())
        child->setFont(plain);
}

void AddRow(QGridLayout* grid, int row, const QString& caption, QWidget* value) {
    auto* label = new QLabel(caption, value->parentWidget());
    label->setObjectName(QStringLiteral("Caption"));
    label->setBuddy(value);
    grid->addWidget(label, row, 0);
    grid->addWidget(value, row, 1);
}

// The values of all groups on a page start at the same column.
void AlignCaptions(QWidget* page) {
    const QList<QLabel*> captions = page->findChildren<QLabel*>(QStringLiteral("Caption"));
    int width = 0;
    for (const QLabel* caption : captions)
        width = std::max(width, caption->sizeHint().width());
    for (QLabel* caption : captions)
        caption->setMinimumWidth(width);
}

QGridLayout* GridOf(QGroupBox* group) {
    auto* grid = new QGridLayout(group);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(4);
    grid->setColumnStretch(1, 1);
    return grid;
}

QString Utf8(const char* text) {
    return QString::fromUtf8(text);
}

} // namespace

TFrmDlgAbout::TFrmDlgAbout(QWidget* mainWindow, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("FrmDlgAbout"));
    CreateComponents();
    FormCreate(mainWindow);

    // A fixed size, at least the designed one, but never smaller than the fonts need.
    setFixedSize(sizeHint().expandedTo(ClientSize));
    BtnClose->move((width() - ButtonSize.width()) / 2, height() - ButtonSize.height() - ButtonBottomGap);
    BtnClose->raise();

    QScreen* screen = mainWindow ? mainWindow->screen() : QGuiApplication::primaryScreen();
    if (screen)
        move(screen->availableGeometry().center() - rect().center());

    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
    BtnClose->setFocus();
}

void TFrmDlgAbout::CreateComponents() {
    QFont font(QStringLiteral("MS Sans Serif"), 8);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    Notebook = new QTabWidget(this);
    Notebook->setObjectName(QStringLiteral("Notebook"));
    QFont tabFont(QStringLiteral("MS Sans Serif"));
    tabFont.setStyleHint(QFont::SansSerif);
    tabFont.setPixelSize(12);
    Notebook->tabBar()->setFont(tabFont);
    layout->addWidget(Notebook);

    // Tab "Modul".
    TabModul = new QWidget(Notebook);
    TabModul->setObjectName(QStringLiteral("TabModul"));
    auto* modul = new QVBoxLayout(TabModul);
    modul->setContentsMargins(8, 8, 8, PageBottomMargin);

    GrpCopyright = Group("GrpCopyright", QStringLiteral("Copyright"), TabModul);
    auto* grid = GridOf(GrpCopyright);
    LblDesc = ValueLabel("LblDesc", GrpCopyright);
    LblCopyright = ValueLabel("LblCopyright", GrpCopyright);
    LblComments = ValueLabel("LblComments", GrpCopyright);
    LblComments->setWordWrap(true);
    AddRow(grid, 0, QStringLiteral("Modul:"), LblDesc);
    AddRow(grid, 1, QStringLiteral("Copyright:"), LblCopyright);
    grid->addWidget(LblComments, 2, 0, 1, 2);
    modul->addWidget(GrpCopyright);

    GrpVersion = Group("GrpVersion", QStringLiteral("Version"), TabModul);
    grid = GridOf(GrpVersion);
    LblFileVersion = ValueLabel("LblFileVersion", GrpVersion);
    LblBuildDate = ValueLabel("LblBuildDate", GrpVersion);
    AddRow(grid, 0, QStringLiteral("Version:"), LblFileVersion);
    AddRow(grid, 1, QStringLiteral("Datum:"), LblBuildDate);
    modul->addWidget(GrpVersion);

    GrpProgram = Group("GrpProgram", QStringLiteral("Verzeichnisse"), TabModul);
    grid = GridOf(GrpProgram);
    LblPathProgram = ValueLabel("LblPathProgram", GrpProgram);
    LblPathWin = ValueLabel("LblPathWin", GrpProgram);
    for (QLabel* path : {LblPathProgram, LblPathWin})
        path->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    AddRow(grid, 0, QStringLiteral("Programm:"), LblPathProgram);
    AddRow(grid, 1, QStringLiteral("System:"), LblPathWin);
    modul->addWidget(GrpProgram);
    modul->addStretch(1);
    Notebook->addTab(TabModul, QStringLiteral("&Modul"));

    // Tab "System".
    TabSystem = new QWidget(Notebook);
    TabSystem->setObjectName(QStringLiteral("TabSystem"));
    auto* system = new QVBoxLayout(TabSystem);
    system->setContentsMargins(8, 8, 8, PageBottomMargin);

    GrpSys = Group("GrpSys", QStringLiteral("Betriebssystem"), TabSystem);
    grid = GridOf(GrpSys);
    LblWinVer = ValueLabel("LblWinVer", GrpSys);
    LblWinVer->setWordWrap(true);
    LblDosVer = ValueLabel("LblDosVer", GrpSys);
    grid->addWidget(LblWinVer, 0, 0, 1, 2);
    grid->addWidget(LblDosVer, 1, 0, 1, 2);
    system->addWidget(GrpSys);

    GrpScreen = Group("GrpScreen", QStringLiteral("&Bildschirm"), TabSystem);
    grid = GridOf(GrpScreen);
    LblScreenRes = ValueLabel("LblScreenRes", GrpScreen);
    LblScreenColors = ValueLabel("LblScreenColors", GrpScreen);
    txtScreen = new QPlainTextEdit(GrpScreen);
    txtScreen->setObjectName(QStringLiteral("txtScreen"));
    txtScreen->setReadOnly(true);
    txtScreen->setFixedSize(193, 99);
    AddRow(grid, 0, QStringLiteral("Auflösung:"), LblScreenRes);
    AddRow(grid, 1, QStringLiteral("Farbpalette:"), LblScreenColors);
    grid->setRowStretch(2, 1);
    grid->addWidget(txtScreen, 0, 2, 3, 1);
    system->addWidget(GrpScreen);

    GrpPrint = Group("GrpPrint", QStringLiteral("Drucker"), TabSystem);
    grid = GridOf(GrpPrint);
    LblPrinter = ValueLabel("LblPrinter", GrpPrint);
    LblPrinterDriver = ValueLabel("LblPrinterDriver", GrpPrint);
    LblPrinterPort = ValueLabel("LblPrinterPort", GrpPrint);
    LblPrinterRes = ValueLabel("LblPrinterRes", GrpPrint);
    AddRow(grid, 0, QStringLiteral("Name:"), LblPrinter);
    AddRow(grid, 1, QStringLiteral("Treiber:"), LblPrinterDriver);
    AddRow(grid, 2, QStringLiteral("Anschluß:"), LblPrinterPort);
    AddRow(grid, 3, QStringLiteral("Auflösung:"), LblPrinterRes);
    system->addWidget(GrpPrint);
    system->addStretch(1);
    Notebook->addTab(TabSystem, QStringLiteral("&System"));

    for (QGroupBox* group : {GrpCopyright, GrpVersion, GrpProgram, GrpSys, GrpScreen, GrpPrint})
        MakeCaptionBold(group, font);
    AlignCaptions(TabModul);
    AlignCaptions(TabSystem);

    BtnClose = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
    BtnClose->setObjectName(QStringLiteral("BtnClose"));
    BtnClose->setFixedSize(ButtonSize);
    BtnClose->setDefault(true);
    connect(BtnClose, &QPushButton::clicked, this, &QDialog::accept);
}

void TFrmDlgAbout::FormCreate(QWidget* mainWindow) {
    Notebook->setCurrentWidget(TabModul);

    // The version block is compiled in; a value left empty in the build leaves its label as is.
    const QString description = Utf8(TVersionInfo::FileDescription);
    if (!description.isEmpty()) {
        setWindowTitle(QStringLiteral("Info über %1").arg(description));
        LblDesc->setText(description);
    }
    if (const QString version = Utf8(TVersionInfo::FileVersion); !version.isEmpty())
        LblFileVersion->setText(version);
    LblBuildDate->setText(
        TSystemInfo::FileDateText(QFileInfo(QCoreApplication::applicationFilePath()).lastModified()));
    if (const QString copyright = Utf8(TVersionInfo::LegalCopyright); !copyright.isEmpty())
        LblCopyright->setText(copyright);
    if (const QString comments = Utf8(TVersionInfo::Comments); !comments.isEmpty())
        LblComments->setText(comments);

    SetPath(LblPathProgram, TSystemInfo::ProgramDirectory());
    SetPath(LblPathWin, TSystemInfo::SystemDirectories());

    LblDosVer->hide();
    LblWinVer->setText(TSystemInfo::OperatingSystemText());

    QScreen* screen = mainWindow ? mainWindow->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        LblScreenRes->setText(QStringLiteral("%1 x %2 Punkte")
                                  .arg(screen->geometry().width())
                                  .arg(screen->geometry().height()));
        LblScreenColors->setText(TSystemInfo::ColourDepthText(screen->depth()));
    }

    try {
        const TSystemInfo::TPrinterRows printer = TSystemInfo::DefaultPrinter();
        LblPrinter->setText(printer.Name);
        LblPrinterDriver->setText(printer.Driver);
        LblPrinterPort->setText(printer.Port);
        LblPrinterRes->setText(QStringLiteral("%1 dpi").arg(printer.Resolution));
    } catch (const TError& e) {
        LblPrinter->setText(e.Message());
        LblPrinterDriver->clear();
        LblPrinterPort->clear();
        LblPrinterRes->clear();
    }

    QList<QRect> monitors;
    QRect desktop;
    for (const QScreen* each : QGuiApplication::screens()) {
        monitors << each->geometry();
        desktop |= each->geometry();
    }
    txtScreen->setPlainText(
        TSystemInfo::MonitorReport(monitors, desktop, mainWindow ? mainWindow->frameGeometry() : QRect()));
}

bool TFrmDlgAbout::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && FormKeyDown(static_cast<QKeyEvent*>(event)))
        return true;
    return QDialog::eventFilter(watched, event);
}

void TFrmDlgAbout::keyPressEvent(QKeyEvent* event) {
    if (!FormKeyDown(event))
        QDialog::keyPressEvent(event);
}

bool TFrmDlgAbout::FormKeyDown(QKeyEvent* event) {
    if (event->modifiers() & ~Qt::KeypadModifier)
        return false;
    switch (event->key()) {
    case Qt::Key_Escape:
        reject();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        BtnClose->click();
        return true;
    default:
        return false;
    }
}
