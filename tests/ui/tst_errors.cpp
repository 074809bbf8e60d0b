#include "ui/ErrorHandler.h"
#include "ui/MsgBox.h"
#include "settings/Error.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

// The application's error display and its message boxes.
class TstErrors : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fullStopRule_data();
    void fullStopRule();
    void abortIsNeverShown();
    void errorBoxCarriesApplicationTitle();
    void realBoxHasGermanButtons();
};

void TstErrors::fullStopRule_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letter gets a full stop") << "Kein Datenbank ausgewählt" << "Kein Datenbank ausgewählt.";
    QTest::newRow("full stop stays") << "Fertig." << "Fertig.";
    QTest::newRow("question mark sorts above") << "Wirklich?" << "Wirklich?.";
    QTest::newRow("closing parenthesis sorts below") << "Fehler (42)" << "Fehler (42)";
    QTest::newRow("comma sorts below") << "a," << "a,";
    QTest::newRow("digit sorts above") << "Code 7" << "Code 7.";
    QTest::newRow("line break sorts below") << "Zeile\r\n" << "Zeile\r\n";
    QTest::newRow("empty stays empty") << "" << "";
}

void TstErrors::fullStopRule()
{
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(ErrorBoxText(message), shown);
}

void TstErrors::abortIsNeverShown()
{
    MsgBox::SetAutoAnswer(true);
    MsgBox::TakeShownTexts();
    RunGuarded([] { throw TAbort(); });
    QVERIFY(MsgBox::TakeShownTexts().isEmpty());
    RunGuarded([] { throw TError(QStringLiteral("Kaputt")); });
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList{QStringLiteral("Kaputt.")});
    // An allocation that failed anywhere (opening a database, building the grid) is named.
    RunGuarded([] { throw std::bad_alloc(); });
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList{QStringLiteral("Nicht genug Arbeitsspeicher.")});
    MsgBox::SetAutoAnswer(false);
}

void TstErrors::errorBoxCarriesApplicationTitle()
{
    QApplication::setApplicationName(QStringLiteral("Tabulo"));
    QString title, text;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        title = box->windowTitle();
        text = box->text();
        QCOMPARE(box->icon(), QMessageBox::Critical);
        QCOMPARE(box->buttons().size(), 1);
        box->buttons().first()->click();
    });
    ShowException(TError(QStringLiteral("Verbindung verloren")));
    QCOMPARE(title, QStringLiteral("Tabulo"));
    QCOMPARE(text, QStringLiteral("Verbindung verloren."));
}

void TstErrors::realBoxHasGermanButtons()
{
    QStringList captions;
    QString title;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        title = box->windowTitle();
        for (QAbstractButton* b : box->buttons())
            captions.append(b->text());
        box->findChild<QPushButton*>(QStringLiteral("Abbrechen"))->click();
    });
    QVERIFY(!MsgBox::ConfirmOkCancel(QStringLiteral("Datenbank aus der Liste entfernen?")));
    QCOMPARE(title, QStringLiteral("Bestätigen"));
    captions.sort();
    QCOMPARE(captions, (QStringList{QStringLiteral("Abbrechen"), QStringLiteral("OK")}));

    QTimer::singleShot(0, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
    QCOMPARE(MsgBox::Show(QStringLiteral("Frage"), MsgBox::Kind::Warning, {MsgBox::Button::Yes, MsgBox::Button::No}),
             MsgBox::Button::No);
}

QTEST_MAIN(TstErrors)
#include "tst_errors.moc"
