#include "catalogue/DataLink.h"
#include "data/ConnectionString.h"
#include "tests/support/TestSupport.h"
#include "ui/MsgBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScopeGuard>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <unistd.h>

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
    void fieldChangesOnlyItsKey_data();
    void fieldChangesOnlyItsKey();
    void providersKeepTheirOwnKeys();
    void databaseSurvivesServerEditsAndRefills();
    void passwordsMaskedUntilShown();
    void allPageOffersTheProvidersKeys();
    void databasesThroughLibpqDefaults_data();
    void databasesThroughLibpqDefaults();
    void unusablePasswordFileIsNamedInTheError();
};

namespace {

// Replaces a field's text as a user would: select all, type.
void Retype(QWidget* field, const QString& text) {
    auto* edit = qobject_cast<QLineEdit*>(field);
    if (!edit)
        edit = qobject_cast<QComboBox*>(field)->lineEdit();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

// A file of the test's own, removed again with the test.
QString TempFile(const QString& name, const QByteArray& content, QFile::Permissions permissions) {
    const QString path = qEnvironmentVariable("TABULO_TEST_TMP", QDir::tempPath()) + u'/' + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    file.close();
    file.setPermissions(permissions);
    return path;
}

// Sets an environment variable for one test and restores it afterwards.
class TEnvironment {
public:
    TEnvironment(const char* name, const QByteArray& value)
        : m_name(name)
        , m_old(qgetenv(name))
        , m_had(qEnvironmentVariableIsSet(name)) {
        qputenv(name, value);
    }
    ~TEnvironment() {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    QByteArray m_old;
    bool m_had;
};

// Collects what is written to standard error while it lives.
class TStderrCapture {
public:
    TStderrCapture()
        : m_path(qEnvironmentVariable("TABULO_TEST_TMP", QDir::tempPath()) + QStringLiteral("/stderr.txt")) {
        fflush(stderr);
        m_saved = dup(2);
        FILE* f = fopen(QFile::encodeName(m_path).constData(), "w");
        dup2(fileno(f), 2);
        fclose(f);
    }
    QByteArray Take() {
        fflush(stderr);
        dup2(m_saved, 2);
        close(m_saved);
        m_saved = -1;
        QFile file(m_path);
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }
    ~TStderrCapture() {
        if (m_saved >= 0)
            Take();
    }

private:
    QString m_path;
    int m_saved = -1;
};

} // namespace

void TstDataLink::initTestCase() {
    MsgBox::SetAutoAnswer(true);
}

void TstDataLink::unchangedStringRoundTrips_data() {
    QTest::addColumn<QString>("initial");
    QTest::newRow("postgres with quoting and unknown keys")
        << "Provider=PostgreSQL;Data Source=srv:5433;Initial Catalog=lager;User ID=anna;Password='ge;heim';"
           "sslmode=require";
    QTest::newRow("key order and case kept") << "data source=/tmp/a.sqlite;PROVIDER=SQLite";
    QTest::newRow("foreign provider") << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\Daten\\lager.mdb";
    QTest::newRow("odbc") << "Provider=MSDASQL;Driver={PostgreSQL Unicode};Server=h;UID=u;PWD=p";
}

void TstDataLink::unchangedStringRoundTrips() {
    QFETCH(QString, initial);
    TDataLinkDialog dialog(initial);
    for (int page = 0; page < dialog.Pages->count(); ++page)
        dialog.Pages->setCurrentIndex(page);
    QCOMPARE(dialog.ConnectionString(), initial);
}

void TstDataLink::newEntryStartsWithSqlite() {
    TDataLinkDialog dialog{QString()};
    QCOMPARE(dialog.LbxProviders->currentRow(), 0);
    QCOMPARE(dialog.ConnectionPages->currentIndex(), 0);
    dialog.Pages->setCurrentIndex(1);
    QTest::keyClicks(dialog.EdtSqliteFile, QStringLiteral("/tmp/neu.sqlite"));
    QCOMPARE(dialog.ConnectionString(), QStringLiteral("Provider=SQLite;Data Source=/tmp/neu.sqlite"));

    // "Neue Datenbank anlegen...": a name typed without an extension gets ".sqlite".
    const QString folder = QDir::temp().filePath(QStringLiteral("tabulo-datalink-%1").arg(getpid()));
    QVERIFY(QDir().mkpath(folder));
    const auto cleanup = qScopeGuard([&] { QDir(folder).removeRecursively(); });
    QTimer::singleShot(0, [&] {
        auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(files);
        files->selectFile(folder + QStringLiteral("/lager"));
        QMetaObject::invokeMethod(files, "accept");
    });
    dialog.BtnSqliteNew->click();
    QCOMPARE(dialog.EdtSqliteFile->text(), folder + QStringLiteral("/lager.sqlite"));
    QVERIFY(QFile::exists(folder + QStringLiteral("/lager.sqlite")));
}

void TstDataLink::postgresPageBuildsStringAndListsDatabases() {
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
    QVERIFY2(dialog.CbxPgDatabase->findText(QStringLiteral("tabulo")) >= 0,
             qPrintable(dialog.LblStatus->text()));
    dialog.CbxPgDatabase->setCurrentIndex(dialog.CbxPgDatabase->findText(QStringLiteral("tabulo")));
    const TConnectionString result(dialog.ConnectionString());
    QCOMPARE(result.Value(QStringLiteral("Provider")), QStringLiteral("PostgreSQL"));
    QCOMPARE(result.Value(QStringLiteral("Data Source")), source);
    QCOMPARE(result.Value(QStringLiteral("Initial Catalog")), QStringLiteral("tabulo"));
    QCOMPARE(result.Value(QStringLiteral("Password")), server.Value(QStringLiteral("Password")));
}

void TstDataLink::testConnectionReportsSuccessAndFailure() {
    REQUIRE_POSTGRES(pg);
    MsgBox::TakeShownTexts();
    TDataLinkDialog good(pg);
    good.TestConnection();
    QCOMPARE(MsgBox::TakeShownTexts(),
             QStringList{QStringLiteral("Die Verbindung wurde erfolgreich hergestellt.")});

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

void TstDataLink::odbcPageListsInstalledDrivers() {
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

    // A driver written in braces shows as the list names it; the string stays as it was.
    const QString braced = QStringLiteral("Provider=ODBC;Driver={PostgreSQL Unicode};Server=h");
    TDataLinkDialog again(braced);
    QCOMPARE(again.CbxOdbcDriver->currentText(), QStringLiteral("PostgreSQL Unicode"));
    QCOMPARE(again.ConnectionString(), braced);
}

void TstDataLink::allPageEditsEveryKey() {
    TDataLinkDialog dialog(QStringLiteral("Provider=SQLite;Data Source=/tmp/a.sqlite"));
    dialog.Pages->setCurrentIndex(2);
    QCOMPARE(dialog.GrdAll->rowCount(), 4); // two keys, the offered "Mode" and a free row
    QCOMPARE(dialog.GrdAll->item(2, 0)->text(), QStringLiteral("Mode"));
    dialog.GrdAll->item(1, 1)->setText(QStringLiteral("/tmp/b.sqlite"));
    dialog.GrdAll->item(2, 1)->setText(QStringLiteral("Read"));
    QCOMPARE(dialog.ConnectionString(),
             QStringLiteral("Provider=SQLite;Data Source=/tmp/b.sqlite;Mode=Read"));
    QTRY_COMPARE(dialog.GrdAll->rowCount(), 4); // "Mode" is now one of the string's keys
    dialog.GrdAll->item(3, 0)->setText(QStringLiteral("Cache"));
    dialog.GrdAll->item(3, 1)->setText(QStringLiteral("shared"));
    QCOMPARE(dialog.ConnectionString(),
             QStringLiteral("Provider=SQLite;Data Source=/tmp/b.sqlite;Mode=Read;Cache=shared"));
    QTRY_COMPARE(dialog.GrdAll->rowCount(), 5);
    dialog.GrdAll->item(2, 0)->setText(QString()); // a cleared name removes the key
    QCOMPARE(dialog.ConnectionString(),
             QStringLiteral("Provider=SQLite;Data Source=/tmp/b.sqlite;Cache=shared"));
    dialog.Pages->setCurrentIndex(1);
    QCOMPARE(dialog.EdtSqliteFile->text(), QStringLiteral("/tmp/b.sqlite"));
}

void TstDataLink::cancelReturnsInitialString() {
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
    QCOMPARE(TDataLinkDialog::PromptDataSource(initial),
             QStringLiteral("Provider=SQLite;Data Source=/tmp/x.sqlite2"));
}

void TstDataLink::fieldChangesOnlyItsKey_data() {
    QTest::addColumn<QString>("initial");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    const QString pg =
        QStringLiteral("Provider=PostgreSQL;Data Source=srv:5433;Initial Catalog=lager;User ID=anna");
    QTest::newRow("server keeps the port")
        << pg << "EdtPgHost"
        << "neu"
        << "Provider=PostgreSQL;Data Source=neu:5433;Initial Catalog=lager;User ID=anna";
    QTest::newRow("port keeps the server")
        << pg << "EdtPgPort"
        << "6000"
        << "Provider=PostgreSQL;Data Source=srv:6000;Initial Catalog=lager;User ID=anna";
    QTest::newRow("empty server: local socket, same port")
        << pg << "EdtPgHost"
        << ""
        << "Provider=PostgreSQL;Data Source=:5433;Initial Catalog=lager;User ID=anna";
    QTest::newRow("database")
        << pg << "CbxPgDatabase"
        << "kunden"
        << "Provider=PostgreSQL;Data Source=srv:5433;Initial Catalog=kunden;User ID=anna";
    QTest::newRow("service")
        << pg << "EdtPgService"
        << "lager"
        << "Provider=PostgreSQL;Data Source=srv:5433;Initial Catalog=lager;User ID=anna;service=lager";
    const QString libpq = QStringLiteral("Provider=PostgreSQL;host=/run/pg;port=5433;dbname=lager;user=anna");
    QTest::newRow("libpq names: port") << libpq << "EdtPgPort"
                                       << "6000"
                                       << "Provider=PostgreSQL;host=/run/pg;port=6000;dbname=lager;user=anna";
    QTest::newRow("libpq names: database")
        << libpq << "CbxPgDatabase"
        << "kunden"
        << "Provider=PostgreSQL;host=/run/pg;port=5433;dbname=kunden;user=anna";
    QTest::newRow("libpq names: user") << libpq << "EdtPgUser"
                                       << "bert"
                                       << "Provider=PostgreSQL;host=/run/pg;port=5433;dbname=lager;user=bert";
    const QString odbc =
        QStringLiteral("Provider=MSDASQL;Driver={MariaDB Unicode};Server=h;UID=u;PWD=p;Port=3306");
    QTest::newRow("odbc user") << odbc << "EdtOdbcUser"
                               << "v"
                               << "Provider=MSDASQL;Driver={MariaDB Unicode};Server=h;UID=v;PWD=p;Port=3306";
    QTest::newRow("odbc attributes in place")
        << odbc << "EdtOdbcAttributes"
        << "Server=h2;Port=3306"
        << "Provider=MSDASQL;Driver={MariaDB Unicode};Server=h2;UID=u;PWD=p;Port=3306";
    QTest::newRow("odbc attribute removed")
        << odbc << "EdtOdbcAttributes"
        << "Server=h"
        << "Provider=MSDASQL;Driver={MariaDB Unicode};Server=h;UID=u;PWD=p";
}

void TstDataLink::fieldChangesOnlyItsKey() {
    QFETCH(QString, initial);
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    TDataLinkDialog dialog(initial);
    dialog.show();
    QCOMPARE(dialog.Pages->currentIndex(), 1);
    auto* widget = dialog.findChild<QWidget*>(field);
    QVERIFY(widget);
    Retype(widget, typed);
    QCOMPARE(dialog.ConnectionString(), expected);
}

void TstDataLink::providersKeepTheirOwnKeys() {
    const QString initial =
        QStringLiteral("Provider=PostgreSQL;Data Source=127.0.0.1:54329;Initial Catalog=lager");
    TDataLinkDialog dialog(initial);
    dialog.show();
    dialog.LbxProviders->setCurrentRow(2);
    QCOMPARE(dialog.ConnectionString(), QStringLiteral("Provider=ODBC"));
    QCOMPARE(dialog.EdtOdbcAttributes->text(), QString());
    QCOMPARE(dialog.CbxOdbcDsn->currentText(), QString());
    QTest::keyClicks(dialog.EdtOdbcAttributes, QStringLiteral("Database=/tmp/o.sqlite"));
    dialog.LbxProviders->setCurrentRow(0);
    QCOMPARE(dialog.ConnectionString(), QStringLiteral("Provider=SQLite"));
    QCOMPARE(dialog.EdtSqliteFile->text(), QString());
    dialog.Pages->setCurrentIndex(2);
    QCOMPARE(dialog.GrdAll->item(0, 0)->text(), QStringLiteral("Provider"));
    QCOMPARE(dialog.GrdAll->item(1, 0)->text(), QStringLiteral("Data Source")); // offered, empty
    QCOMPARE(dialog.GrdAll->item(1, 1)->text(), QString());
    // Back again, each provider finds its own values.
    dialog.LbxProviders->setCurrentRow(2);
    QCOMPARE(dialog.ConnectionString(), QStringLiteral("Provider=ODBC;Database=/tmp/o.sqlite"));
    dialog.LbxProviders->setCurrentRow(1);
    QCOMPARE(dialog.ConnectionString(), initial);
    QCOMPARE(dialog.EdtPgPort->text(), QStringLiteral("54329"));
}

void TstDataLink::databaseSurvivesServerEditsAndRefills() {
    REQUIRE_POSTGRES(pg);
    TConnectionString cs(pg);
    cs.SetValue(QStringLiteral("Initial Catalog"), QStringLiteral("gibt_es_nicht"));
    TDataLinkDialog dialog(cs.ToString());
    dialog.show();
    dialog.LoadPgDatabases(); // read through "postgres", since the given one is missing
    QVERIFY2(dialog.CbxPgDatabase->findText(QStringLiteral("tabulo")) >= 0,
             qPrintable(dialog.LblStatus->text()));
    QCOMPARE(dialog.CbxPgDatabase->currentText(), QStringLiteral("gibt_es_nicht"));
    const QString host = dialog.EdtPgHost->text();
    Retype(dialog.EdtPgHost, host + QStringLiteral("x"));
    QTest::keyClick(dialog.EdtPgHost, Qt::Key_Backspace);
    Retype(dialog.EdtPgPort, dialog.EdtPgPort->text());
    QCOMPARE(dialog.CbxPgDatabase->currentText(), QStringLiteral("gibt_es_nicht"));
    QCOMPARE(dialog.ConnectionString(), cs.ToString());
    dialog.CbxPgDatabase->setCurrentIndex(-1);
    Retype(dialog.CbxPgDatabase, QStringLiteral("tabulo"));
    dialog.LoadPgDatabases();
    QCOMPARE(dialog.CbxPgDatabase->currentText(), QStringLiteral("tabulo"));
    QCOMPARE(dialog.ConnectionString(), pg);
}

void TstDataLink::passwordsMaskedUntilShown() {
    const QString initial =
        QStringLiteral("Provider=ODBC;Driver=SQLite3;UID=u;PWD=geheim;Database=/tmp/o.sqlite");
    TDataLinkDialog dialog(initial);
    dialog.show();
    QCOMPARE(dialog.EdtOdbcPassword->text(), QStringLiteral("geheim"));
    QCOMPARE(dialog.EdtOdbcPassword->echoMode(), QLineEdit::Password);
    QVERIFY(!dialog.EdtOdbcAttributes->text().contains(QStringLiteral("geheim")));

    dialog.Pages->setCurrentIndex(2);
    const QList<QTableWidgetItem*> found = dialog.GrdAll->findItems(QStringLiteral("PWD"), Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    const int row = found.first()->row();
    auto shownText = [&] {
        // What the cell paints: the delegate's text for it.
        QStyleOptionViewItem option;
        option.initFrom(dialog.GrdAll);
        QWidget* editor = dialog.GrdAll->itemDelegate()->createEditor(dialog.GrdAll->viewport(), option,
                                                                      dialog.GrdAll->model()->index(row, 1));
        const QLineEdit::EchoMode mode = qobject_cast<QLineEdit*>(editor)->echoMode();
        delete editor;
        return mode;
    };
    QCOMPARE(shownText(), QLineEdit::Password);
    dialog.ChkShowPasswords->setChecked(true);
    QCOMPARE(shownText(), QLineEdit::Normal);
    QCOMPARE(dialog.EdtOdbcPassword->echoMode(), QLineEdit::Normal);
    QCOMPARE(dialog.EdtPgPassword->echoMode(), QLineEdit::Normal);
    QCOMPARE(dialog.ConnectionString(), initial);
}

void TstDataLink::allPageOffersTheProvidersKeys() {
    TDataLinkDialog pgDialog(QStringLiteral("Provider=PostgreSQL;Data Source=srv"));
    pgDialog.Pages->setCurrentIndex(2);
    for (const QString& key :
         {QStringLiteral("sslmode"), QStringLiteral("service"), QStringLiteral("passfile")}) {
        const QList<QTableWidgetItem*> found = pgDialog.GrdAll->findItems(key, Qt::MatchExactly);
        QVERIFY2(found.size() == 1, qPrintable(key));
        QVERIFY(!(found.first()->flags() & Qt::ItemIsEditable));
    }
    // libpq's own name of a key the dialog writes under its own is not offered twice.
    QVERIFY(pgDialog.GrdAll->findItems(QStringLiteral("host"), Qt::MatchExactly).isEmpty());
    const int row = pgDialog.GrdAll->findItems(QStringLiteral("sslmode"), Qt::MatchExactly).first()->row();
    pgDialog.GrdAll->item(row, 1)->setText(QStringLiteral("require"));
    QCOMPARE(pgDialog.ConnectionString(),
             QStringLiteral("Provider=PostgreSQL;Data Source=srv;sslmode=require"));

    // A key the string holds under libpq's own name is not offered under the dialog's.
    TDataLinkDialog libpqDialog(QStringLiteral("Provider=PostgreSQL;host=/run/pg;dbname=lager"));
    libpqDialog.Pages->setCurrentIndex(2);
    QVERIFY(libpqDialog.GrdAll->findItems(QStringLiteral("Data Source"), Qt::MatchExactly).isEmpty());
    QVERIFY(libpqDialog.GrdAll->findItems(QStringLiteral("Initial Catalog"), Qt::MatchExactly).isEmpty());
    QCOMPARE(libpqDialog.GrdAll->findItems(QStringLiteral("User ID"), Qt::MatchExactly).size(), 1);

    // The SQLite3 ODBC driver lists its attributes through its setup library.
    TDataLinkDialog odbcDialog(QStringLiteral("Provider=ODBC;Driver=SQLite3"));
    odbcDialog.Pages->setCurrentIndex(2);
    QCOMPARE(odbcDialog.GrdAll->findItems(QStringLiteral("Database"), Qt::MatchExactly).size(), 1);
    QCOMPARE(odbcDialog.GrdAll->findItems(QStringLiteral("StepAPI"), Qt::MatchExactly).size(), 1);
    QCOMPARE(odbcDialog.ConnectionString(), QStringLiteral("Provider=ODBC;Driver=SQLite3"));
}

void TstDataLink::databasesThroughLibpqDefaults_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("socket folder, no password") << "socket";
    QTest::newRow("password from PGPASSFILE") << "passfile";
    QTest::newRow("service file") << "service";
}

void TstDataLink::databasesThroughLibpqDefaults() {
    REQUIRE_POSTGRES(pg);
    QFETCH(QString, how);
    const TConnectionString server(pg);
    QString host, port;
    TConnectionString::SplitHostPort(server.Value(QStringLiteral("Data Source")), host, port);
    const QString socketFolder = qEnvironmentVariable("TABULO_PG_ROOT");
    TDataLinkDialog dialog(QStringLiteral("Provider=PostgreSQL"));
    dialog.show();
    std::unique_ptr<TEnvironment> env;
    if (how == QLatin1String("socket")) {
        if (socketFolder.isEmpty())
            QSKIP("TABULO_PG_ROOT (the server's socket folder) is not set");
        QTest::keyClicks(dialog.EdtPgHost, socketFolder);
        QTest::keyClicks(dialog.EdtPgPort, port);
        QTest::keyClicks(dialog.EdtPgUser, QStringLiteral("tabulo"));
    } else if (how == QLatin1String("passfile")) {
        const QString file = TempFile(QStringLiteral("pgpass"),
                                      QStringLiteral("%1:%2:*:tabulo:secret\n").arg(host, port).toUtf8(),
                                      QFile::ReadOwner | QFile::WriteOwner);
        env = std::make_unique<TEnvironment>("PGPASSFILE", QFile::encodeName(file));
        QTest::keyClicks(dialog.EdtPgHost, host);
        QTest::keyClicks(dialog.EdtPgPort, port);
        QTest::keyClicks(dialog.EdtPgUser, QStringLiteral("tabulo"));
    } else {
        const QString file =
            TempFile(QStringLiteral("pg_service.conf"),
                     QStringLiteral("[lager]\nhost=%1\nport=%2\nuser=tabulo\npassword=secret\n")
                         .arg(host, port)
                         .toUtf8(),
                     QFile::ReadOwner | QFile::WriteOwner);
        env = std::make_unique<TEnvironment>("PGSERVICEFILE", QFile::encodeName(file));
        QTest::keyClicks(dialog.EdtPgService, QStringLiteral("lager"));
    }
    dialog.BtnPgDatabases->click();
    QVERIFY2(dialog.CbxPgDatabase->findText(QStringLiteral("tabulo")) >= 0,
             qPrintable(dialog.LblStatus->text()));
    QCOMPARE(dialog.CbxPgDatabase->currentText(), QString());
    QVERIFY(!TConnectionString(dialog.ConnectionString()).Contains(QStringLiteral("Password")));
}

void TstDataLink::unusablePasswordFileIsNamedInTheError() {
    REQUIRE_POSTGRES(pg);
    TConnectionString cs(pg);
    QString host, port;
    TConnectionString::SplitHostPort(cs.Value(QStringLiteral("Data Source")), host, port);
    const QString file =
        TempFile(QStringLiteral("pgpass-offen"), QStringLiteral("*:*:*:tabulo:secret\n").toUtf8(),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    TEnvironment env("PGPASSFILE", QFile::encodeName(file));
    cs.Remove(QStringLiteral("Password"));
    TDataLinkDialog dialog(cs.ToString());
    MsgBox::TakeShownTexts();
    TStderrCapture capture;
    dialog.TestConnection();
    const QByteArray terminal = capture.Take();
    const QStringList shown = MsgBox::TakeShownTexts();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().contains(QStringLiteral("Kennwortdatei „%1“").arg(file)),
             qPrintable(shown.first()));
    QVERIFY2(shown.first().contains(QStringLiteral("0600")), qPrintable(shown.first()));
    QVERIFY2(!terminal.contains("password file"), terminal.constData());

    // Readable by its owner only, the same file gives the password.
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    dialog.TestConnection();
    QCOMPARE(MsgBox::TakeShownTexts(),
             QStringList{QStringLiteral("Die Verbindung wurde erfolgreich hergestellt.")});
}

QTEST_MAIN(TstDataLink)
#include "tst_datalink.moc"
