#include "ui/MsgBox.h"
#include "catalogue/DataLink.h"
#include "data/ConnectionString.h"
#include "tests/support/TestSupport.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

// The data link dialog driven through its widgets, against real databases.
class TstDataLink : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void unchangedStringRoundTrips_data();
    void unchangedStringRoundTrips();
    void newEntryStartsWithSqlite();
    void postgresPageBuildsStringAndListsDatabases();
    void testConnectionReportsSuccessAndFailure();
    void odbcPageListsInstalledDrivers();
    void allPageEditsEveryKey();
    void cancelReturnsInitialString();
};

void TstDataLink::initTestCase()
{
    MsgBox::SetAutoAnswer(true);
}

void TstDataLink::unchangedStringRoundTrips_data()
{
    QTest::addColumn<QString>("initial");
    QTest::newRow("postgres with quoting and unknown keys")
        << "Provider=PostgreSQL;Data Source=srv:5433;Initial Catalog=lager;User ID=anna;Password='ge;heim';"
           "sslmode=require";
    QTest::newRow("key order and case kept") << "data source=/tmp/a.sqlite;PROVIDER=SQLite";
    QTest::newRow("foreign provider") << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\Daten\\lager.mdb";
    QTest::newRow("odbc") << "Provider=MSDASQL;Driver={PostgreSQL Unicode};Server=h;UID=u;PWD=p";
}

void TstDataLink::unchangedStringRoundTrips()
{
    QFETCH(QString, initial);
    TDataLinkDialog dialog(initial);
    for (int page = 0; page < dialog.Pages->count(); ++page)
        dialog.Pages->setCurrentIndex(page);
    QCOMPARE(dialog.ConnectionString(), initial);
}

void TstDataLink::newEntryStartsWithSqlite()
{
    TDataLinkDialog dialog{QString()};
    QCOMPARE(dialog.LbxProviders->currentRow(), 0);
    QCOMPARE(dialog.ConnectionPages->currentIndex(), 0);
    dialog.Pages->setCurrentIndex(1);
    QTest::keyClicks(dialog.EdtSqliteFile, QStringLiteral("/tmp/neu.sqlite"));
    QCOMPARE(dialog.ConnectionString(), QStringLiteral("Provider=SQLite;Data Source=/tmp/neu.sqlite"));
}

void TstDataLink::postgresPageBuildsStringAndListsDatabases()
{
    REQUIRE_POSTGRES(pg);
    const TConnectionString server(pg);
    TDataLinkDialog dialog{QString()};
    dialog.LbxProviders->setCurrentRow(1);
    dialog.Pages->setCurrentIndex(1);
    QCOMPARE(dialog.ConnectionPages->currentIndex(), 1);
    const QString source = server.Value(QStringLiteral("Data Source"));
    QTest::keyClicks(dialog.EdtPgHost, source.section(QLatin1Char(':'), 0, 0));
    QTest::keyClicks(dialog.EdtPgPort, source.section(QLatin1Char(':'), 1));
    QTest::keyClicks(dialog.EdtPgUser, server.Value(QStringLiteral("User ID")));
    QTest::keyClicks(dialog.EdtPgPassword, server.Value(QStringLiteral("Password")));
    dialog.LoadPgDatabases();
    QVERIFY2(dialog.CbxPgDatabase->findText(QStringLiteral("tabulo")) >= 0, qPrintable(dialog.LblStatus->text()));
    dialog.CbxPgDatabase->setCurrentIndex(dialog.CbxPgDatabase->findText(QStringLiteral("tabulo")));
    const TConnectionString result(dialog.ConnectionString());
    QCOMPARE(result.Value(QStringLiteral("Provider")), QStringLiteral("PostgreSQL"));
    QCOMPARE(result.Value(QStringLiteral("Data Source")), source);
    QCOMPARE(result.Value(QStringLiteral("Initial Catalog")), QStringLiteral("tabulo"));
    QCOMPARE(result.Value(QStringLiteral("Password")), server.Value(QStringLiteral("Password")));
}

void TstDataLink::testConnectionReportsSuccessAndFailure()
{
    REQUIRE_POSTGRES(pg);
    MsgBox::TakeShownTexts();
    TDataLinkDialog good(pg);
    good.TestConnection();
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList{QStringLiteral("Die Verbindung wurde erfolgreich hergestellt.")});

    TConnectionString wrong(pg);
    wrong.SetValue(QStringLiteral("Password"), QStringLiteral("falsch"));
    TDataLinkDialog bad(wrong.ToString());
    bad.TestConnection();
    const QStringList shown = MsgBox::TakeShownTexts();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().startsWith(QStringLiteral("Die Verbindung konnte nicht hergestellt werden:")),
             qPrintable(shown.first()));
    QVERIFY(shown.first().size() > 50); // the server's reason follows
}

void TstDataLink::odbcPageListsInstalledDrivers()
{
    TDataLinkDialog dialog(QStringLiteral("Provider=ODBC"));
    QCOMPARE(dialog.ConnectionPages->currentIndex(), 2);
    QVERIFY(dialog.CbxOdbcDriver->findText(QStringLiteral("SQLite3")) >= 0);
    QVERIFY(dialog.CbxOdbcDriver->findText(QStringLiteral("PostgreSQL Unicode")) >= 0);
    // Debian registers "SQLite" with a library it does not ship: it is not offered.
    QCOMPARE(dialog.CbxOdbcDriver->findText(QStringLiteral("SQLite")), -1);
    dialog.CbxOdbcDriver->setCurrentIndex(dialog.CbxOdbcDriver->findText(QStringLiteral("SQLite3")));
    QTest::keyClicks(dialog.EdtOdbcAttributes, QStringLiteral("Database=/tmp/o.sqlite"));
    const TConnectionString result(dialog.ConnectionString());
    QCOMPARE(result.Value(QStringLiteral("Driver")), QStringLiteral("SQLite3"));
    QCOMPARE(result.Value(QStringLiteral("Database")), QStringLiteral("/tmp/o.sqlite"));
}

void TstDataLink::allPageEditsEveryKey()
{
    TDataLinkDialog dialog(QStringLiteral("Provider=SQLite;Data Source=/tmp/a.sqlite"));
    dialog.Pages->setCurrentIndex(2);
    QCOMPARE(dialog.GrdAll->rowCount(), 3); // two keys and a free row
    dialog.GrdAll->item(1, 1)->setText(QStringLiteral("/tmp/b.sqlite"));
    dialog.GrdAll->item(2, 0)->setText(QStringLiteral("Mode"));
    dialog.GrdAll->item(2, 1)->setText(QStringLiteral("Read"));
    QCOMPARE(dialog.ConnectionString(), QStringLiteral("Provider=SQLite;Data Source=/tmp/b.sqlite;Mode=Read"));
    dialog.Pages->setCurrentIndex(1);
    QCOMPARE(dialog.EdtSqliteFile->text(), QStringLiteral("/tmp/b.sqlite"));
}

void TstDataLink::cancelReturnsInitialString()
{
    const QString initial = QStringLiteral("Provider=SQLite;Data Source=/tmp/x.sqlite");
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<TDataLinkDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->EdtSqliteFile->setText(QStringLiteral("/anders"));
        Q_EMIT dialog->EdtSqliteFile->textEdited(QStringLiteral("/anders"));
        dialog->BtnCancel->click();
    });
    QCOMPARE(TDataLinkDialog::PromptDataSource(initial), initial);
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<TDataLinkDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        QTest::keyClicks(dialog->EdtSqliteFile, QStringLiteral("2"));
        dialog->BtnOk->click();
    });
    QCOMPARE(TDataLinkDialog::PromptDataSource(initial), QStringLiteral("Provider=SQLite;Data Source=/tmp/x.sqlite2"));
}

QTEST_MAIN(TstDataLink)
#include "tst_datalink.moc"
