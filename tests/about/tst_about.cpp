#include "about/About.h"
#include "about/SystemInfo.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

// The About dialog on an offscreen desktop of two 1920 x 1080 monitors side by side.
class TestAbout : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void moduleTab();
    void systemTab();
    void noDefaultPrinter();
    void keysCloseTheDialog_data();
    void keysCloseTheDialog();
    void nothingClipped();

    void fileDateText_data();
    void fileDateText();
    void colourDepthText_data();
    void colourDepthText();
    void monitorReport_data();
    void monitorReport();

private:
    template <typename T> T* Find(const QWidget& dialog, const char* name) {
        T* child = dialog.findChild<T*>(QLatin1String(name));
        if (!child)
            qFatal("component %s is missing", name);
        return child;
    }
    QString Text(const QWidget& dialog, const char* label) { return Find<QLabel>(dialog, label)->text(); }

    QWidget* MainWindow = nullptr;
};

void TestAbout::init() {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    MainWindow = new QWidget;
    MainWindow->setGeometry(2000, 120, 640, 480);
    MainWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(MainWindow));
}

void TestAbout::cleanup() {
    delete MainWindow;
    MainWindow = nullptr;
}

void TestAbout::moduleTab() {
    TFrmDlgAbout dlg(MainWindow, MainWindow);
    QCOMPARE(dlg.objectName(), QStringLiteral("FrmDlgAbout"));
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Info über " TABULO_EXPECTED_DESCRIPTION));
    auto* notebook = Find<QTabWidget>(dlg, "Notebook");
    QCOMPARE(notebook->count(), 2);
    QCOMPARE(notebook->tabText(0), QStringLiteral("&Modul"));
    QCOMPARE(notebook->tabText(1), QStringLiteral("&System"));
    QCOMPARE(notebook->currentIndex(), 0);
    QCOMPARE(Find<QGroupBox>(dlg, "GrpCopyright")->title(), QStringLiteral("Copyright"));
    QCOMPARE(Find<QGroupBox>(dlg, "GrpVersion")->title(), QStringLiteral("Version"));
    QCOMPARE(Find<QGroupBox>(dlg, "GrpProgram")->title(), QStringLiteral("Verzeichnisse"));
    QVERIFY(Find<QGroupBox>(dlg, "GrpProgram")->font().bold());
    QVERIFY(!Find<QLabel>(dlg, "LblDesc")->font().bold());

    QCOMPARE(Text(dlg, "LblDesc"), QStringLiteral(TABULO_EXPECTED_DESCRIPTION));
    QCOMPARE(Text(dlg, "LblFileVersion"), QStringLiteral(TABULO_EXPECTED_VERSION));
    QVERIFY2(Text(dlg, "LblCopyright").startsWith(QStringLiteral("Copyright © ")),
             qPrintable(Text(dlg, "LblCopyright")));
    QVERIFY(!Text(dlg, "LblComments").isEmpty());

    const QDateTime programTime = QFileInfo(QCoreApplication::applicationFilePath()).lastModified();
    QVERIFY2(Text(dlg, "LblBuildDate").startsWith(programTime.toString(QStringLiteral("dd.MM.yy"))),
             qPrintable(Text(dlg, "LblBuildDate")));

    QCOMPARE(Text(dlg, "LblPathProgram"), QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    const QStringList systemDirs = Text(dlg, "LblPathWin").split(QLatin1Char(';'));
    QCOMPARE(systemDirs.size(), 2);
    QCOMPARE(systemDirs[0], QStringLiteral("/etc"));
    QVERIFY2(QFile::exists(systemDirs[1] + QStringLiteral("/libQt6Core.so.6")), qPrintable(systemDirs[1]));

    auto* close = Find<QPushButton>(dlg, "BtnClose");
    QCOMPARE(close->text(), QStringLiteral("OK"));
    QVERIFY(close->isDefault());
    QCOMPARE(close->size(), QSize(87, 27));
    QCOMPARE(dlg.minimumSize(), dlg.maximumSize());
    QVERIFY(dlg.width() >= 413 && dlg.height() >= 343);
}

static QString OsReleaseValue(const QString& key) {
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        QFile file(QString::fromLatin1(path));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QRegularExpression line(QStringLiteral("^%1=\"?(.*?)\"?$").arg(key),
                                      QRegularExpression::MultilineOption);
        return line.match(QString::fromUtf8(file.readAll())).captured(1);
    }
    return {};
}

void TestAbout::systemTab() {
    TFrmDlgAbout dlg(MainWindow, MainWindow);
    QCOMPARE(Find<QGroupBox>(dlg, "GrpSys")->title(), QStringLiteral("Betriebssystem"));
    QCOMPARE(Find<QGroupBox>(dlg, "GrpScreen")->title(), QStringLiteral("&Bildschirm"));
    QCOMPARE(Find<QGroupBox>(dlg, "GrpPrint")->title(), QStringLiteral("Drucker"));

    QFile release(QStringLiteral("/proc/sys/kernel/osrelease"));
    QVERIFY(release.open(QIODevice::ReadOnly));
    const QString kernel = QString::fromLatin1(release.readAll()).trimmed();
    const QString distribution = OsReleaseValue(QStringLiteral("PRETTY_NAME"));
    QVERIFY(!distribution.isEmpty());
    QCOMPARE(Text(dlg, "LblWinVer"), QStringLiteral("Linux %1 (%2)").arg(kernel, distribution));
    QVERIFY(!Text(dlg, "LblWinVer").contains(QStringLiteral("Windows")));
    QVERIFY(Find<QLabel>(dlg, "LblDosVer")->isHidden());

    QCOMPARE(Text(dlg, "LblScreenRes"), QStringLiteral("1920 x 1080 Punkte"));
    QCOMPARE(Text(dlg, "LblScreenColors"), QStringLiteral("True Color (32 Bit)"));
    QCOMPARE(Find<QPlainTextEdit>(dlg, "txtScreen")->toPlainText(),
             QStringLiteral("Monitors: 2\nAuflösung ges.: 3840 x 1080\nAuflösung 0: 1920 x 1080\n"
                            "Auflösung 1: 1920 x 1080\nAktuelle Pos./Abmessungen: (2000,120) (640, 480)"));
}

void TestAbout::noDefaultPrinter() {
    if (!QPrinterInfo::defaultPrinter().isNull())
        QSKIP("this machine has a default printer");
    TFrmDlgAbout dlg(MainWindow, MainWindow);
    QCOMPARE(Text(dlg, "LblPrinter"), QStringLiteral("Es ist kein Standarddrucker eingerichtet."));
    QCOMPARE(Text(dlg, "LblPrinterDriver"), QString());
    QCOMPARE(Text(dlg, "LblPrinterPort"), QString());
    QCOMPARE(Text(dlg, "LblPrinterRes"), QString());
}

void TestAbout::keysCloseTheDialog_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("result");
    QTest::newRow("Escape on the button") << "BtnClose" << int(Qt::Key_Escape) << int(QDialog::Rejected);
    QTest::newRow("Escape in the monitor report")
        << "txtScreen" << int(Qt::Key_Escape) << int(QDialog::Rejected);
    QTest::newRow("Enter in the monitor report")
        << "txtScreen" << int(Qt::Key_Return) << int(QDialog::Accepted);
    QTest::newRow("keypad Enter on the tabs") << "Notebook" << int(Qt::Key_Enter) << int(QDialog::Accepted);
}

void TestAbout::keysCloseTheDialog() {
    QFETCH(QString, target);
    QFETCH(int, key);
    QFETCH(int, result);
    TFrmDlgAbout dlg(MainWindow, MainWindow);
    dlg.setResult(-1);
    dlg.open();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QCOMPARE(QApplication::focusWidget(), dlg.findChild<QWidget*>(QStringLiteral("BtnClose")));
    auto* widget = dlg.findChild<QWidget*>(target);
    QVERIFY(widget);
    QTest::keyClick(widget, Qt::Key(key));
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), result);
}

// Every text is shown whole in the fixed size; only the directory rows may clip long paths.
void TestAbout::nothingClipped() {
    TFrmDlgAbout dlg(MainWindow, MainWindow);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    auto* notebook = Find<QTabWidget>(dlg, "Notebook");
    const QRect button = Find<QPushButton>(dlg, "BtnClose")->geometry();
    for (int tab = 0; tab < notebook->count(); ++tab) {
        notebook->setCurrentIndex(tab);
        QApplication::processEvents();
        for (QLabel* label : notebook->widget(tab)->findChildren<QLabel*>()) {
            if (label->isHidden() || label->objectName().startsWith(QLatin1String("LblPath")))
                continue;
            const QString what = label->objectName() + QLatin1Char(' ') + label->text();
            QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(what));
            QVERIFY2(label->height() >= (label->wordWrap() ? label->heightForWidth(label->width())
                                                           : label->sizeHint().height()),
                     qPrintable(what));
            const QRect inDialog(label->mapTo(&dlg, QPoint(0, 0)), label->size());
            QVERIFY2(!inDialog.intersects(button), qPrintable(what));
            QVERIFY2(dlg.rect().contains(inDialog), qPrintable(what));
        }
    }
    auto* report = Find<QPlainTextEdit>(dlg, "txtScreen");
    QCOMPARE(report->horizontalScrollBar()->maximum(), 0);
    QCOMPARE(report->verticalScrollBar()->maximum(), 0);
}

void TestAbout::fileDateText_data() {
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("text");
    // The long time format names the time zone.
    QTest::newRow("afternoon") << QDateTime(QDate(2026, 3, 14), QTime(15, 4, 5), Qt::UTC)
                               << "14.03.26 15:04:05 UTC";
    QTest::newRow("one second after midnight")
        << QDateTime(QDate(2026, 12, 1), QTime(0, 0, 1), Qt::UTC) << "01.12.26 00:00:01 UTC";
    QTest::newRow("midnight has no time")
        << QDateTime(QDate(2026, 12, 1), QTime(0, 0), Qt::UTC) << "01.12.26";
}

void TestAbout::fileDateText() {
    QFETCH(QDateTime, time);
    QFETCH(QString, text);
    QCOMPARE(TSystemInfo::FileDateText(time), text);
}

void TestAbout::colourDepthText_data() {
    QTest::addColumn<int>("bits");
    QTest::addColumn<QString>("text");
    QTest::newRow("1") << 1 << "";
    QTest::newRow("4") << 4 << "16 Farben";
    QTest::newRow("8") << 8 << "256 Farben";
    QTest::newRow("15") << 15 << "";
    QTest::newRow("16") << 16 << "High Color (16 Bit)";
    QTest::newRow("24") << 24 << "True Color (24 Bit)";
    QTest::newRow("32") << 32 << "True Color (32 Bit)";
}

void TestAbout::colourDepthText() {
    QFETCH(int, bits);
    QFETCH(QString, text);
    QCOMPARE(TSystemInfo::ColourDepthText(bits), text);
}

void TestAbout::monitorReport_data() {
    QTest::addColumn<QList<QRect>>("monitors");
    QTest::addColumn<QRect>("mainWindow");
    QTest::addColumn<QString>("report");
    QTest::newRow("two side by side")
        << QList<QRect>{{0, 0, 1920, 1080}, {1920, 0, 1920, 1080}} << QRect(10, 20, 800, 600)
        << "Monitors: 2\r\nAuflösung ges.: 3840 x 1080\r\nAuflösung 0: 1920 x 1080\r\n"
           "Auflösung 1: 1920 x 1080\r\nAktuelle Pos./Abmessungen: (10,20) (800, 600)";
    QTest::newRow("second monitor left of the first, window on it")
        << QList<QRect>{{0, 0, 1920, 1200}, {-1280, 200, 1280, 1024}} << QRect(-1200, 300, 1024, 700)
        << "Monitors: 2\r\nAuflösung ges.: 1920 x 1224\r\nAuflösung 0: 1920 x 1200\r\n"
           "Auflösung 1: 1280 x 1024\r\nAktuelle Pos./Abmessungen: (-1200,300) (1024, 700)";
}

void TestAbout::monitorReport() {
    QFETCH(QList<QRect>, monitors);
    QFETCH(QRect, mainWindow);
    QFETCH(QString, report);
    QRect desktop;
    for (const QRect& monitor : monitors)
        desktop |= monitor;
    QCOMPARE(TSystemInfo::MonitorReport(monitors, desktop, mainWindow), report);
}

int main(int argc, char** argv) {
    // The offscreen platform reads its screens from a file given with the platform name.
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("screens.json"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(config));
    file.write(R"({"windowFrameMargins": false, "screens": [
        {"name": "links", "x": 0, "y": 0, "width": 1920, "height": 1080, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1},
        {"name": "rechts", "x": 1920, "y": 0, "width": 1920, "height": 1080, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    file.close();
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).toLocal8Bit());
    QApplication app(argc, argv);
    TestAbout test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_about.moc"
