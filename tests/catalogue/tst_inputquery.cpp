#include "catalogue/InputQueryExt.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

class TstInputQuery : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void widthFollowsValue_data();
    void widthFollowsValue();
    void keysConfirmOrCancel_data();
    void keysConfirmOrCancel();
    void focusNeverSelectsTheValue();
    void longValueComesBackWhole();
};

void TstInputQuery::widthFollowsValue_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("screenLimited");
    QTest::newRow("empty value gives 36 pixels") << QString() << false;
    QTest::newRow("connection string") << QStringLiteral("Provider=SQLite;Data Source=/home/anna/daten/lager.sqlite")
                                       << false;
    QTest::newRow("wider than the screen") << QString(4000, QLatin1Char('x')) << true;
}

void TstInputQuery::widthFollowsValue()
{
    QFETCH(QString, value);
    QFETCH(bool, screenLimited);
    TFrmInputQueryExt dialog;
    dialog.SetValue(value);
    const int screenWidth = dialog.screen()->geometry().width();
    const int expected = screenLimited ? screenWidth - 30
                                       : QFontMetrics(dialog.font()).horizontalAdvance(value) + 36;
    QCOMPARE(dialog.width(), expected);
    // The field keeps its distance to the right edge, so the whole value shows unless limited.
    QCOMPARE(dialog.Edt->geometry().right(), dialog.width() - 10);
    QCOMPARE(dialog.Edt->selectedText(), QString());
    if (value.isEmpty())
        QCOMPARE(dialog.width(), 36);
}

void TstInputQuery::keysConfirmOrCancel_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("result");
    QTest::newRow("enter confirms the edited text") << int(Qt::Key_Return) << "X" << true << "abcX";
    QTest::newRow("enter without editing") << int(Qt::Key_Return) << "" << true << "abc";
    QTest::newRow("escape leaves the value") << int(Qt::Key_Escape) << "X" << false << "abc";
}

void TstInputQuery::keysConfirmOrCancel()
{
    QFETCH(int, key);
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    QFETCH(QString, result);
    QString value = QStringLiteral("abc");
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<TFrmInputQueryExt*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Titel"));
        QCOMPARE(dialog->Lbl->text(), QStringLiteral("Eingabe"));
        dialog->Edt->end(false);
        QTest::keyClicks(dialog->Edt, typed);
        QTest::keyClick(dialog->Edt, Qt::Key(key));
    });
    QCOMPARE(TFrmInputQueryExt::InputQuery(QStringLiteral("Titel"), QStringLiteral("Eingabe"), value), accepted);
    QCOMPARE(value, result);
}

// The first key typed must not replace the whole connection string: neither showing the dialog
// nor the focus coming back to the field selects its text.
void TstInputQuery::focusNeverSelectsTheValue()
{
    QString value = QStringLiteral("Provider=SQLite;Data Source=lager.sqlite");
    QStringList seen;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<TFrmInputQueryExt*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        QCOMPARE(QApplication::focusWidget(), dialog->Edt);
        seen << dialog->Edt->selectedText() << QString::number(dialog->Edt->cursorPosition());
        dialog->BitBtn2->setFocus(Qt::TabFocusReason);
        QTest::keyClick(dialog->BitBtn2, Qt::Key_Backtab, Qt::ShiftModifier);
        QTest::keyClick(dialog->BitBtn1, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), dialog->Edt);
        seen << dialog->Edt->selectedText() << QString::number(dialog->Edt->cursorPosition());
        QTest::keyClicks(dialog->Edt, QStringLiteral("X"));
        QTest::keyClick(dialog->Edt, Qt::Key_Return);
    });
    QVERIFY(TFrmInputQueryExt::InputQuery(QStringLiteral("Titel"), QStringLiteral("Eingabe"), value));
    QCOMPARE(seen, (QStringList{QString(), QStringLiteral("0"), QString(), QStringLiteral("0")}));
    QCOMPARE(value, QStringLiteral("XProvider=SQLite;Data Source=lager.sqlite"));
}

// The field's default limit of 32,767 characters would return a longer string cut short.
void TstInputQuery::longValueComesBackWhole()
{
    QString value = QStringLiteral("Provider=ODBC;") + QString(40000, QLatin1Char('k'));
    QTimer::singleShot(0, [] {
        auto* edit = QApplication::activeModalWidget()->findChild<QLineEdit*>(QStringLiteral("Edt"));
        QTest::keyClick(edit, Qt::Key_End);
        QTest::keyClicks(edit, QStringLiteral(";x=1"));
        QTest::keyClick(edit, Qt::Key_Return);
    });
    QVERIFY(TFrmInputQueryExt::InputQuery(QStringLiteral("ConnectionString"), QStringLiteral("Prompt"), value));
    QCOMPARE(value.size(), 14 + 40000 + 4);
    QVERIFY(value.endsWith(QStringLiteral("kkk;x=1")));
}

QTEST_MAIN(TstInputQuery)
#include "tst_inputquery.moc"
