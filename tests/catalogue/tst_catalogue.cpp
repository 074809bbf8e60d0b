#include "ui/MsgBox.h"
#include "catalogue/DBLst.h"
#include "settings/Error.h"
#include "settings/IniFileEx.h"

#include <QLineEdit>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <memory>

namespace {

QStringList Names(TFrameDBLst& frame)
{
    QStringList names;
    for (int i = 0; i < frame.EntryCount(); ++i)
        names.append(frame.Root()->child(i)->text(0));
    return names;
}

} // namespace

// The catalogue pane on a real settings store file, driven through its tree.
class TstCatalogue : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void roundTripKeepsOrderNamesAndDuplicates();
    void emptyCatalogueLeavesNoSection();
    void storedValueWithoutSeparatorSurvives();
    void defaultDatabaseName_data();
    void defaultDatabaseName();
    void dropMovesInFrontOfTarget_data();
    void dropMovesInFrontOfTarget();
    void renameOnlyThroughCommandAndNeverWithSeparator();
    void removeAsksAndUpdatesCount();
    void openWithoutEntryRaises();
    void addNamesEntryAndStartsRenaming_data();
    void addNamesEntryAndStartsRenaming();
    void copyWithCancelledDialogStillCopies();
    void editConnectionStringAsksWhenTestFails();

private:
    std::unique_ptr<TIniFileEx> m_store;
    std::unique_ptr<TFrameDBLst> m_frame;
    void Plant(const QStringList& values);
};

void TstCatalogue::init()
{
    QFile::remove(qEnvironmentVariable("TABULO_SETTINGS"));
    m_store = std::make_unique<TIniFileEx>();
    SetSettingsStore(m_store.get());
    m_frame = std::make_unique<TFrameDBLst>();
    m_frame->show();
    MsgBox::SetAutoAnswer(true);
    MsgBox::TakeShownTexts();
}

void TstCatalogue::cleanup()
{
    m_frame.reset();
    SetSettingsStore(nullptr);
    m_store.reset();
}

void TstCatalogue::Plant(const QStringList& values)
{
    m_store->WriteValueList(TFrameDBLst::CatalogueSection(), values);
    m_frame->LoadCatalogue();
}

void TstCatalogue::roundTripKeepsOrderNamesAndDuplicates()
{
    QStringList values;
    for (int i = 0; i < 12; ++i)
        values.append(QStringLiteral("DB%1=Provider=SQLite;Data Source=/tmp/db%1.sqlite").arg(i));
    values[3] = QStringLiteral("=Provider=SQLite;Data Source=leer.sqlite");
    values[7] = values[8] = QStringLiteral("Lager=Provider=PostgreSQL;Data Source=srv;Initial Catalog=lager");
    Plant(values);

    QCOMPARE(m_frame->EntryCount(), 12);
    QCOMPARE(m_frame->CountText(), QStringLiteral("Anzahl DB: 12"));
    QCOMPARE(m_frame->Root()->text(0), QStringLiteral("Datenbanken"));
    QVERIFY(m_frame->Root()->isExpanded());
    QVERIFY(!m_frame->HasSelectedDatabase());
    QCOMPARE(m_frame->Root()->child(3)->text(0), QString());
    QCOMPARE(TFrameDBLst::InfoOf(m_frame->Root()->child(10))->ConnectionString,
             QStringLiteral("Provider=SQLite;Data Source=/tmp/db10.sqlite"));

    m_frame->SaveCatalogue();
    QCOMPARE(m_frame->TreeDB->topLevelItemCount(), 0);
    QStringList names;
    m_store->ReadSection(TFrameDBLst::CatalogueSection(), names);
    QCOMPARE(names.size(), 12);
    QCOMPARE(names.at(10), QStringLiteral("10")); // "10" follows "9", not "1"
    QStringList stored;
    m_store->ReadValueList(TFrameDBLst::CatalogueSection(), stored);
    QCOMPARE(stored, values);
}

void TstCatalogue::emptyCatalogueLeavesNoSection()
{
    Plant({QStringLiteral("A=x"), QStringLiteral("B=y")});
    m_frame->TreeDB->setCurrentItem(m_frame->Root()->child(0));
    MsgBox::ScriptAnswers({MsgBox::Button::Ok});
    m_frame->RemoveDatabase();
    m_frame->TreeDB->setCurrentItem(m_frame->Root()->child(0));
    MsgBox::ScriptAnswers({MsgBox::Button::Ok});
    m_frame->RemoveDatabase();
    QCOMPARE(m_frame->CountText(), QStringLiteral("Anzahl DB: 0"));
    m_frame->SaveCatalogue();

    QStringList names{QStringLiteral("untouched")};
    m_store->ReadSection(TFrameDBLst::CatalogueSection(), names);
    QCOMPARE(names, QStringList{QStringLiteral("untouched")}); // no section at all
    m_frame->LoadCatalogue();
    QCOMPARE(m_frame->TreeDB->topLevelItemCount(), 1);
    QCOMPARE(m_frame->CountText(), QStringLiteral("Anzahl DB: 0"));
}

void TstCatalogue::storedValueWithoutSeparatorSurvives()
{
    Plant({QStringLiteral("Nur ein Name")});
    QCOMPARE(Names(*m_frame), QStringList{QStringLiteral("Nur ein Name")});
    QCOMPARE(TFrameDBLst::InfoOf(m_frame->Root()->child(0))->ConnectionString, QString());
    m_frame->SaveCatalogue();
    m_frame->LoadCatalogue();
    QCOMPARE(Names(*m_frame), QStringList{QStringLiteral("Nur ein Name")});
}

void TstCatalogue::defaultDatabaseName_data()
{
    QTest::addColumn<QString>("connectionString");
    QTest::addColumn<QString>("name");
    QTest::newRow("initial catalog") << "Provider=X;Data Source=srv;Initial Catalog=Kunden" << "Kunden";
    QTest::newRow("data source") << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\Daten\\lager.mdb"
                                 << "C:\\Daten\\lager.mdb";
    QTest::newRow("user id") << "Provider=X;user id=anna" << "anna";
    QTest::newRow("blank after separator does not match") << "Provider=X; Initial Catalog=Y" << "Datenbank4";
    QTest::newRow("empty value skipped") << "Initial Catalog=;Data Source=srv" << "srv";
    QTest::newRow("only the first piece of a key counts") << "Data Source=;Data Source=b" << "Datenbank4";
    // A quote opens a quoted piece only as its first character, so a quoted value is cut.
    QTest::newRow("quote inside a piece is ordinary") << "Provider=SQLite;Data Source='/tmp/a;b.sqlite'"
                                                      << "'/tmp/a";
    QTest::newRow("no key") << "Provider=SQLite" << "Datenbank4";
    QTest::newRow("separator in a value is neutralised") << "Data Source=a=b" << "a-b";
}

void TstCatalogue::defaultDatabaseName()
{
    QFETCH(QString, connectionString);
    QFETCH(QString, name);
    Plant({QStringLiteral("A=x"), QStringLiteral("B=y"), QStringLiteral("C=z")});
    QCOMPARE(m_frame->DefaultDatabaseName(connectionString), name);
}

void TstCatalogue::dropMovesInFrontOfTarget_data()
{
    QTest::addColumn<int>("dragged"); // -1: the root
    QTest::addColumn<int>("target");  // -1: the root
    QTest::addColumn<QString>("order");
    QTest::newRow("last onto first becomes first") << 3 << 0 << "DABC";
    QTest::newRow("first onto last becomes second to last") << 0 << 3 << "BCAD";
    QTest::newRow("up onto an entry goes in front of it") << 2 << 1 << "ACBD";
    QTest::newRow("onto itself changes nothing") << 1 << 1 << "ABCD";
    QTest::newRow("onto the root becomes first") << 2 << -1 << "CABD";
    QTest::newRow("the root onto an entry changes nothing") << -1 << 2 << "ABCD";
}

void TstCatalogue::dropMovesInFrontOfTarget()
{
    QFETCH(int, dragged);
    QFETCH(int, target);
    QFETCH(QString, order);
    Plant({QStringLiteral("A=1"), QStringLiteral("B=2"), QStringLiteral("C=3"), QStringLiteral("D=4")});
    auto node = [this](int i) { return i < 0 ? m_frame->Root() : m_frame->Root()->child(i); };
    m_frame->DraggedNode = node(dragged);
    m_frame->TreeDBDragDrop(node(target));
    QCOMPARE(Names(*m_frame).join(QString()), order);
    QCOMPARE(m_frame->TreeDB->topLevelItemCount(), 1);
    QCOMPARE(m_frame->CountText(), QStringLiteral("Anzahl DB: 4"));
    for (int i = 0; i < 4; ++i) // every entry keeps its own data
        QCOMPARE(TFrameDBLst::InfoOf(node(i))->ConnectionString,
                 QString::number(m_frame->Root()->child(i)->text(0).at(0).unicode() - 'A' + 1));
}

void TstCatalogue::renameOnlyThroughCommandAndNeverWithSeparator()
{
    Plant({QStringLiteral("Alt=x")});
    QTreeWidgetItem* entry = m_frame->Root()->child(0);
    m_frame->TreeDB->setCurrentItem(entry);

    // A slow second click on the selected entry does not start editing.
    const QPoint pos = m_frame->TreeDB->visualItemRect(entry).center();
    QTest::mouseClick(m_frame->TreeDB->viewport(), Qt::LeftButton, {}, pos);
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    QTest::mouseClick(m_frame->TreeDB->viewport(), Qt::LeftButton, {}, pos);
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    QVERIFY(!m_frame->TreeDB->findChild<QLineEdit*>(QStringLiteral("TreeDBEditor")));

    m_frame->RenameDatabase();
    auto* editor = m_frame->TreeDB->findChild<QLineEdit*>(QStringLiteral("TreeDBEditor"));
    QVERIFY(editor);
    QVERIFY(!m_frame->EditAllowed);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("Neu=Name"));
    QCOMPARE(editor->text(), QStringLiteral("NeuName"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(entry->text(0), QStringLiteral("NeuName"));

    m_frame->RenameDatabase();
    editor = m_frame->TreeDB->findChild<QLineEdit*>(QStringLiteral("TreeDBEditor"));
    QVERIFY(editor);
    editor->clear();
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(entry->text(0), QString()); // an empty name is allowed
}

void TstCatalogue::removeAsksAndUpdatesCount()
{
    Plant({QStringLiteral("A=1"), QStringLiteral("B=2")});
    m_frame->TreeDB->setCurrentItem(m_frame->Root()->child(1));
    MsgBox::ScriptAnswers({MsgBox::Button::Cancel});
    m_frame->RemoveDatabase();
    QCOMPARE(Names(*m_frame), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList{QStringLiteral("Datenbank aus der Liste entfernen?")});

    MsgBox::ScriptAnswers({MsgBox::Button::Ok});
    m_frame->RemoveDatabase();
    QCOMPARE(Names(*m_frame), QStringList{QStringLiteral("A")});
    QCOMPARE(m_frame->CountText(), QStringLiteral("Anzahl DB: 1"));

    m_frame->TreeDB->setCurrentItem(m_frame->Root());
    m_frame->RemoveDatabase(); // the root: nothing happens, nothing is asked
    QVERIFY(MsgBox::TakeShownTexts().size() == 1);
}

void TstCatalogue::openWithoutEntryRaises()
{
    Plant({QStringLiteral("A=1")});
    m_frame->TreeDB->setCurrentItem(m_frame->Root());
    QVERIFY(!m_frame->HasSelectedDatabase());
    try {
        m_frame->OpenSelected();
        QFAIL("no error");
    } catch (const TError& e) {
        QCOMPARE(e.Message(), QStringLiteral("Kein Datenbank ausgewählt"));
    }
}

namespace {

QString ExistingDb()
{
    const QString file = qEnvironmentVariable("TABULO_TEST_TMP") + QStringLiteral("/da.sqlite");
    QFile f(file); // an empty file is a valid, empty SQLite database
    f.open(QIODevice::WriteOnly);
    return QStringLiteral("Provider=SQLite;Data Source=") + file;
}

QString MissingDb()
{
    return QStringLiteral("Provider=SQLite;Data Source=/nicht/vorhanden.sqlite");
}

} // namespace

void TstCatalogue::addNamesEntryAndStartsRenaming_data()
{
    QTest::addColumn<QString>("dialogResult"); // "good", "bad" or ""
    QTest::addColumn<QList<int>>("answers");   // to the question after a failed test
    QTest::addColumn<QString>("name");         // empty: nothing added
    QTest::addColumn<int>("messages");
    QTest::newRow("working string") << "good" << QList<int>{} << "da-name" << 0;
    QTest::newRow("dialog cancelled") << "" << QList<int>{} << "" << 0;
    QTest::newRow("failed test, cancel") << "bad" << QList<int>{int(MsgBox::Button::Cancel)} << "" << 1;
    QTest::newRow("failed test, keep it") << "bad" << QList<int>{int(MsgBox::Button::Ok)} << "/nicht/vorhanden.sqlite" << 1;
}

void TstCatalogue::addNamesEntryAndStartsRenaming()
{
    QFETCH(QString, dialogResult);
    QFETCH(QList<int>, answers);
    QFETCH(QString, name);
    QFETCH(int, messages);
    Plant({QStringLiteral("A=1"), QStringLiteral("B=2"), QStringLiteral("C=3")});
    const QString good = ExistingDb() + QStringLiteral(";Initial Catalog=da-name");
    m_frame->DataLinkPrompt = [&](const QString& initial) {
        [&] { QCOMPARE(initial, QString()); }();
        return dialogResult == QLatin1String("good") ? good
               : dialogResult == QLatin1String("bad") ? MissingDb()
                                                      : QString();
    };
    QList<MsgBox::Button> scripted;
    for (int a : answers)
        scripted.append(MsgBox::Button(a));
    MsgBox::ScriptAnswers(scripted);
    try {
        m_frame->AddDatabase(QString());
    } catch (const TAbort&) {
    }
    const QStringList shown = MsgBox::TakeShownTexts();
    QCOMPARE(shown.size(), messages);
    // The question, then why the connection failed.
    if (messages)
        QVERIFY2(shown.first().startsWith(QStringLiteral(
                     "Verbindung kann nicht aufgebaut werden. Datenbankinformation trotzdem speichern?\n\nGrund: ")) &&
                     shown.first().size() > 90,
                 qPrintable(shown.first()));
    if (name.isEmpty()) {
        QCOMPARE(m_frame->EntryCount(), 3);
        return;
    }
    QCOMPARE(m_frame->EntryCount(), 4);
    QCOMPARE(m_frame->Root()->child(3)->text(0), name);
    QCOMPARE(m_frame->TreeDB->currentItem(), m_frame->Root()->child(3));
    QVERIFY(m_frame->TreeDB->findChild<QLineEdit*>(QStringLiteral("TreeDBEditor"))); // renaming started
}

void TstCatalogue::copyWithCancelledDialogStillCopies()
{
    const QString source = ExistingDb() + QStringLiteral(";Initial Catalog=Kunden");
    Plant({QStringLiteral("Original=") + source});
    m_frame->TreeDB->setCurrentItem(m_frame->Root()->child(0));
    m_frame->DataLinkPrompt = [](const QString& initial) { return initial; }; // cancelled
    m_frame->CopyDatabase();
    QCOMPARE(Names(*m_frame), (QStringList{QStringLiteral("Original"), QStringLiteral("Kunden")}));
    QCOMPARE(TFrameDBLst::InfoOf(m_frame->Root()->child(1))->ConnectionString, source);
}

void TstCatalogue::editConnectionStringAsksWhenTestFails()
{
    Plant({QStringLiteral("A=") + ExistingDb()});
    QTreeWidgetItem* entry = m_frame->Root()->child(0);
    m_frame->TreeDB->setCurrentItem(entry);
    auto typeInDialog = [](const QString& text) {
        QTimer::singleShot(0, [text] {
            auto* edit = QApplication::activeModalWidget()->findChild<QLineEdit*>(QStringLiteral("Edt"));
            edit->setText(text);
            QTest::keyClick(edit, Qt::Key_Return);
        });
    };
    typeInDialog(MissingDb());
    MsgBox::ScriptAnswers({MsgBox::Button::Cancel});
    QVERIFY_THROWS_EXCEPTION(TAbort, m_frame->EditConnectionString());
    const QStringList shown = MsgBox::TakeShownTexts();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().startsWith(QStringLiteral("ConnectionString ist nicht gültig: ")), qPrintable(shown.first()));
    QVERIFY(shown.first().endsWith(QStringLiteral(". Trotzdem speichern?")));
    QCOMPARE(TFrameDBLst::InfoOf(entry)->ConnectionString, ExistingDb());

    typeInDialog(MissingDb());
    MsgBox::ScriptAnswers({MsgBox::Button::Ok});
    m_frame->EditConnectionString();
    QCOMPARE(TFrameDBLst::InfoOf(entry)->ConnectionString, MissingDb());
    QCOMPARE(entry->text(0), QStringLiteral("A"));
}

QTEST_MAIN(TstCatalogue)
#include "tst_catalogue.moc"
