#include "ui/FormPlacement.h"
#include "settings/IniFileEx.h"
#include "settings/WindowPlacement.h"

#include <QApplication>
#include <QMainWindow>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(TWindowPlacement)

// "state,left,top,width,height" of a placement, to read table rows at a glance.
static QString Rendered(const TWindowPlacement& p) {
    return QStringLiteral("%1,%2,%3,%4,%5").arg(p.State).arg(p.Left).arg(p.Top).arg(p.Width).arg(p.Height);
}

static TWindowPlacement Window(int left, int top, int width, int height, bool resizable = true,
                               int desktopW = 1920, int desktopH = 1080) {
    TWindowPlacement p;
    p.ComponentName = QStringLiteral("FrmMain");
    p.ClassName = QStringLiteral("TFrmMain");
    p.Resizable = resizable;
    p.Left = left;
    p.Top = top;
    p.Width = width;
    p.Height = height;
    p.DesktopWidth = desktopW;
    p.DesktopHeight = desktopH;
    return p;
}

class TestFormPlacement : public QObject {
    Q_OBJECT
private slots:
    void Restore_data();
    void Restore();
    void Merge_data();
    void Merge();
    void ShortRecordIsCompletedOnSave();
    void MaximisedWindowRoundTrip_data();
    void MaximisedWindowRoundTrip();
};

void TestFormPlacement::Restore_data() {
    QTest::addColumn<QString>("record");
    QTest::addColumn<TWindowPlacement>("current");
    QTest::addColumn<QString>("expected");
    const TWindowPlacement designed = Window(10, 20, 300, 200);
    QTest::newRow("too big for the desktop") << "0,100,100,5000,5000" << designed << "0,0,100,1920,864";
    QTest::newRow("three items keep the size") << "2,50,60" << designed << "2,50,60,300,200";
    QTest::newRow("invalid width") << "0,10,10,abc,300" << designed << "0,10,10,300,300";
    QTest::newRow("empty items") << ",,,," << designed << "0,10,20,300,200";
    QTest::newRow("fixed size window")
        << "0,5,6,500,500" << Window(10, 20, 300, 200, false) << "0,5,6,300,200";
    QTest::newRow("no record, still clamped") << "" << Window(0, 0, 3000, 2000) << "0,0,0,1920,864";
    QTest::newRow("negative positions stay") << "0,-50,-20,400,300" << designed << "0,-50,-20,400,300";
    QTest::newRow("left and top lowered") << "0,1800,900,400,300" << designed << "0,1520,780,400,300";
    QTest::newRow("exactly the desktop height") << "0,0,0,1920,1080" << designed << "0,0,0,1920,1080";
    QTest::newRow("too tall, top lowered") << "0,0,500,800,2000" << designed << "0,0,216,800,864";
    QTest::newRow("items beyond the fifth") << "1,1,2,3,4,99" << designed << "1,1,2,3,4";
    QTest::newRow("unknown state") << "7,1,2,3,4" << designed << "0,1,2,3,4";
    QTest::newRow("no desktop size") << "0,5000,5000,9000,9000" << Window(0, 0, 10, 10, true, 0, 0)
                                     << "0,5000,5000,9000,9000";
    QTest::newRow("small desktop") << "0,0,300,800,700" << Window(0, 0, 10, 10, true, 1024, 605)
                                   << "0,0,125,800,480";
}

void TestFormPlacement::Restore() {
    QFETCH(QString, record);
    QFETCH(TWindowPlacement, current);
    QFETCH(QString, expected);
    ApplyPlacementRecord(record.isEmpty() ? QStringList{} : record.split(u','), current);
    QCOMPARE(Rendered(current), expected);
}

void TestFormPlacement::Merge_data() {
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("normalKnown");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("normal, nothing stored")
        << QStringList{} << 0 << false << QStringList{"0", "1", "2", "3", "4"};
    QTest::newRow("maximised keeps the stored placement")
        << QStringList{"0", "10", "20", "30", "40"} << 2 << false << QStringList{"2", "10", "20", "30", "40"};
    QTest::newRow("maximised, nothing stored")
        << QStringList{} << 2 << false << QStringList{"2", "", "", "", ""};
    QTest::newRow("maximised with known normal placement")
        << QStringList{"0", "10", "20", "30", "40"} << 2 << true << QStringList{"2", "1", "2", "3", "4"};
    QTest::newRow("minimised, extra items stay")
        << QStringList{"0", "10", "20", "30", "40", "x", "y"} << 1 << false
        << QStringList{"1", "10", "20", "30", "40", "x", "y"};
    QTest::newRow("short record padded")
        << QStringList{"2", "5"} << 0 << false << QStringList{"0", "1", "2", "3", "4"};
}

void TestFormPlacement::Merge() {
    QFETCH(QStringList, stored);
    QFETCH(int, state);
    QFETCH(bool, normalKnown);
    QFETCH(QStringList, expected);
    TWindowPlacement window = Window(1, 2, 3, 4);
    window.State = state;
    window.NormalPlacementKnown = normalKnown;
    QCOMPARE(MergePlacementRecord(stored, window), expected);
}

void TestFormPlacement::ShortRecordIsCompletedOnSave() {
    QTemporaryDir dir;
    TIniFileEx store(dir.filePath(QStringLiteral("s.sqlite")));
    store.WriteString(QStringLiteral("FrmMain"), QStringLiteral("TFrmMain"), QStringLiteral("0,5,6"));
    const TWindowPlacement restored = store.RestoreFormPlacement(QString(), Window(10, 20, 300, 200));
    QCOMPARE(Rendered(restored), QStringLiteral("0,5,6,300,200"));
    store.SaveFormPlacement(QString(), restored);
    QCOMPARE(store.ReadString(QStringLiteral("FrmMain"), QStringLiteral("TFrmMain"), QString()),
             QStringLiteral("0,5,6,300,200"));
}

void TestFormPlacement::MaximisedWindowRoundTrip_data() {
    QTest::addColumn<bool>("restoreWhenShown");
    QTest::newRow("before the first show") << false;
    QTest::newRow("in the first show") << true;
}

void TestFormPlacement::MaximisedWindowRoundTrip() {
    QFETCH(bool, restoreWhenShown);
    QTemporaryDir dir;
    TIniFileEx store(dir.filePath(QStringLiteral("s.sqlite")));
    const QSize desktop = QGuiApplication::primaryScreen()->virtualGeometry().size();
    const QRect normal(40, 50, desktop.width() / 2, desktop.height() / 2);
    {
        QMainWindow closing;
        closing.setObjectName(QStringLiteral("FrmMain"));
        closing.setGeometry(normal);
        closing.show();
        closing.showMaximized();
        QTRY_VERIFY(closing.windowState() & Qt::WindowMaximized);
        SaveFormPlacement(store, QString(), &closing, QStringLiteral("TFrmMain"));
    }
    QCOMPARE(store.ReadString(QStringLiteral("FrmMain"), QStringLiteral("TFrmMain"), QString()),
             QStringLiteral("2,%1,%2,%3,%4")
                 .arg(normal.x())
                 .arg(normal.y())
                 .arg(normal.width())
                 .arg(normal.height()));

    QMainWindow starting;
    starting.setObjectName(QStringLiteral("FrmMain"));
    starting.resize(200, 100);
    if (!restoreWhenShown)
        RestoreFormPlacement(store, QString(), &starting, QStringLiteral("TFrmMain"));
    starting.show();
    if (restoreWhenShown)
        RestoreFormPlacement(store, QString(), &starting, QStringLiteral("TFrmMain"));
    QTRY_VERIFY(starting.windowState() & Qt::WindowMaximized);
    QCOMPARE(starting.normalGeometry(), normal);
    starting.showNormal();
    QTRY_COMPARE(starting.geometry(), normal);

    // Closing again while normal stores the window's own placement; the class name is the ident.
    starting.setGeometry(QRect(QPoint(60, 70), starting.size()));
    SaveFormPlacement(store, QStringLiteral("Other"), &starting);
    QCOMPARE(store.ReadString(QStringLiteral("Other"), QStringLiteral("QMainWindow"), QString()),
             QStringLiteral("0,60,70,%1,%2").arg(normal.width()).arg(normal.height()));
}

QTEST_MAIN(TestFormPlacement)
#include "tst_formplacement.moc"
