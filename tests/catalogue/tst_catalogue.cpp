#include "ui/MsgBox.h"
#include "catalogue/DBLst.h"
#include "settings/Error.h"
#include "settings/IniFileEx.h"
#include "settings/RegFile.h"
#include "settings/RegistryStore.h"

#include <QClipboard>
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
    void everyChangeIsStoredWhenMade();
    void anotherProgramsChangeIsNotOverwrittenUnasked_data();
    void anotherProgramsChangeIsNotOverwrittenUnasked();
    void renameTakesStoredSettingsAlong();
    void namesWhoseSettingsCollideAreRefused_data();
    void namesWhoseSettingsCollideAreRefused();
    void pastedNameLosesLineBreaksAndKeepsItsLength();
    void nameBeingTypedIsTakenAtClose();
    void backupOfHardestNamesRestoresByteForByte();

private:
    QStringList Stored() const;
    // Starts the rename editor on an entry, types (or pastes) the text and confirms it.
    void Rename(int entry, const QString& text, bool paste = false);
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

QStringList TstCatalogue::Stored() const
{
    QStringList values;
    m_store->ReadValueList(TFrameDBLst::CatalogueSection(), values);
    return values;
}

void TstCatalogue::Rename(int entry, const QString& text, bool paste)
{
    m_frame->TreeDB->setCurrentItem(m_frame->Root()->child(entry));
    m_frame->RenameDatabase();
    auto* editor = m_frame->TreeDB->findChild<QLineEdit*>(QStringLiteral("TreeDBEditor"));
    QVERIFY(editor);
    editor->selectAll();
    if (paste) {
        QGuiApplication::clipboard()->setText(text);
        QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
    } else {
        QTest::keyClicks(editor, text);
    }
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!m_frame->TreeDB->findChild<QLineEdit*>(QStringLiteral("TreeDBEditor")));
    QCoreApplication::processEvents(); // the name is taken once the editor is gone
}

// Nothing lives only in memory until a normal close: every command stores the catalogue.
void TstCatalogue::everyChangeIsStoredWhenMade()
{
    Plant({QStringLiteral("A=") + ExistingDb(), QStringLiteral("B=2")});
    m_frame->DataLinkPrompt = [](const QString&) { return ExistingDb() + QStringLiteral(";Initial Catalog=Neu"); };
    m_frame->AddDatabase(QString());
    QCOMPARE(Stored(), (QStringList{"A=" + ExistingDb(), "B=2", "Neu=" + ExistingDb() + ";Initial Catalog=Neu"}));
    QTest::keyClick(m_frame->TreeDB->findChild<QLineEdit*>(QStringLiteral("TreeDBEditor")), Qt::Key_Escape);
    QTRY_VERIFY(!m_frame->TreeDB->findChild<QLineEdit*>(QStringLiteral("TreeDBEditor")));

    Rename(0, QStringLiteral("Erste"));
    QCOMPARE(Stored().first(), "Erste=" + ExistingDb());

    m_frame->DraggedNode = m_frame->Root()->child(2);
    m_frame->TreeDBDragDrop(m_frame->Root()->child(0));
    QCOMPARE(Stored().first(), "Neu=" + ExistingDb() + ";Initial Catalog=Neu");

    m_frame->TreeDB->setCurrentItem(m_frame->Root()->child(2));
    MsgBox::ScriptAnswers({MsgBox::Button::Ok});
    m_frame->RemoveDatabase();
    QCOMPARE(Stored().size(), 2);

    m_frame->TreeDB->setCurrentItem(m_frame->Root()->child(1));
    m_frame->DataLinkPrompt = [](const QString&) { return ExistingDb() + QStringLiteral(";Initial Catalog=X"); };
    m_frame->EditProperties();
    QCOMPARE(Stored().at(1), "Erste=" + ExistingDb() + ";Initial Catalog=X");
    QTest::keyClick(m_frame->TreeDB->findChild<QLineEdit*>(QStringLiteral("TreeDBEditor")), Qt::Key_Escape);
    QTRY_VERIFY(!m_frame->TreeDB->findChild<QLineEdit*>(QStringLiteral("TreeDBEditor")));

    QTimer::singleShot(0, [] {
        auto* edit = QApplication::activeModalWidget()->findChild<QLineEdit*>(QStringLiteral("Edt"));
        edit->setText(ExistingDb());
        QTest::keyClick(edit, Qt::Key_Return);
    });
    m_frame->EditConnectionString();
    QCOMPARE(Stored().at(1), "Erste=" + ExistingDb());
    QCOMPARE(MsgBox::TakeShownTexts().size(), 1); // the removal's question, no other
}

void TstCatalogue::anotherProgramsChangeIsNotOverwrittenUnasked_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QStringList>("stored");
    const QStringList others{QStringLiteral("A=1"), QStringLiteral("B=2"), QStringLiteral("Fremd=3")};
    const QStringList mine{QStringLiteral("B=2")};
    QTest::newRow("take the other program's") << int(MsgBox::Button::Yes) << others << others;
    QTest::newRow("keep this one") << int(MsgBox::Button::No) << mine << mine;
    QTest::newRow("cancel: nothing stored yet") << int(MsgBox::Button::Cancel) << mine << others;
}

// A second running program on the same store added an entry after this one read the
// catalogue: removing an entry here asks whose list stays instead of dropping the other's.
void TstCatalogue::anotherProgramsChangeIsNotOverwrittenUnasked()
{
    QFETCH(int, answer);
    QFETCH(QStringList, tree);
    QFETCH(QStringList, stored);
    Plant({QStringLiteral("A=1"), QStringLiteral("B=2")});
    {
        TIniFileEx other(m_store->FileName());
        other.WriteValueList(TFrameDBLst::CatalogueSection(),
                             {QStringLiteral("A=1"), QStringLiteral("B=2"), QStringLiteral("Fremd=3")});
    }
    m_frame->TreeDB->setCurrentItem(m_frame->Root()->child(0));
    MsgBox::ScriptAnswers({MsgBox::Button::Ok, MsgBox::Button(answer)});
    try {
        m_frame->RemoveDatabase();
    } catch (const TAbort&) {
    }
    const QStringList shown = MsgBox::TakeShownTexts();
    QCOMPARE(shown.size(), 2);
    QVERIFY2(shown.at(1).startsWith(QStringLiteral("Ein anderes laufendes Tabulo hat die Liste der Datenbanken")),
             qPrintable(shown.at(1)));
    QStringList names;
    for (int i = 0; i < m_frame->EntryCount(); ++i)
        names.append(m_frame->Root()->child(i)->text(0) + u'=' +
                     TFrameDBLst::InfoOf(m_frame->Root()->child(i))->ConnectionString);
    QCOMPARE(names, tree);
    QCOMPARE(Stored(), stored);
    // Whatever was chosen, the next change goes through without asking again, except after
    // Cancel, where the other list is still newer than what this one wrote.
    MsgBox::ScriptAnswers({MsgBox::Button::No});
    Rename(0, QStringLiteral("Z"));
    QCOMPARE(MsgBox::TakeShownTexts().size(), answer == int(MsgBox::Button::Cancel) ? 1 : 0);
    QCOMPARE(Stored().first().left(2), QStringLiteral("Z="));
}

// The editor text and the pane sizes are stored under the entry's name: they go with it.
void TstCatalogue::renameTakesStoredSettingsAlong()
{
    Plant({QStringLiteral("Alt=1"), QStringLiteral("Zwei=2"), QStringLiteral("Zwei=3")});
    m_store->WriteValueList(TIniFileEx::WorkspaceSqlSection(QStringLiteral("Alt")),
                            {QStringLiteral("select 1"), QStringLiteral("from t")});
    m_store->WriteInteger(TIniFileEx::WorkspaceSection(QStringLiteral("Alt")), QStringLiteral("PnlLeft"), 376);
    m_store->WriteValueList(TIniFileEx::WorkspaceSqlSection(QStringLiteral("Zwei")), {QStringLiteral("select 2")});

    Rename(0, QStringLiteral("Neu"));
    QStringList lines;
    m_store->ReadValueList(TIniFileEx::WorkspaceSqlSection(QStringLiteral("Neu")), lines);
    QCOMPARE(lines, (QStringList{"select 1", "from t"}));
    QCOMPARE(m_store->ReadInteger(TIniFileEx::WorkspaceSection(QStringLiteral("Neu")), QStringLiteral("PnlLeft"), 0),
             376);
    QVERIFY(!m_store->SectionExists(TIniFileEx::WorkspaceSection(QStringLiteral("Alt"))));
    QVERIFY(!m_store->SectionExists(TIniFileEx::WorkspaceSqlSection(QStringLiteral("Alt"))));

    // The other entry of the same name still uses them: they stay.
    Rename(1, QStringLiteral("Drei"));
    m_store->ReadValueList(TIniFileEx::WorkspaceSqlSection(QStringLiteral("Zwei")), lines);
    QCOMPARE(lines, QStringList{"select 2"});
    QVERIFY(!m_store->SectionExists(TIniFileEx::WorkspaceSqlSection(QStringLiteral("Drei"))));
}

void TstCatalogue::namesWhoseSettingsCollideAreRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("refused");
    QTest::newRow("its SQL text is the other's pane sizes") << "a.SQL" << true;
    QTest::newRow("the other's SQL text would be its pane sizes") << "a.sql" << true;
    QTest::newRow("only the case differs") << "A" << true;
    QTest::newRow("below the other's key") << "a\\x" << true;
    QTest::newRow("a doubled backslash is the same key") << "b\\\\c" << true;
    QTest::newRow("the same name shares on purpose") << "a" << false;
    QTest::newRow("a longer name") << "ab" << false;
    QTest::newRow("SQL elsewhere") << "a.SQL2" << false;
}

// "a" and "a.SQL" would store one's pane sizes in the other's SQL text: refused at rename
// and at add, saying why.
void TstCatalogue::namesWhoseSettingsCollideAreRefused()
{
    QFETCH(QString, name);
    QFETCH(bool, refused);
    Plant({QStringLiteral("a=1"), QStringLiteral("b\\c=2"), QStringLiteral("Umbenennen=3")});
    Rename(2, name);
    QCOMPARE(m_frame->Root()->child(2)->text(0), refused ? QStringLiteral("Umbenennen") : name);
    QCOMPARE(Stored().at(2), (refused ? QStringLiteral("Umbenennen") : name) + QStringLiteral("=3"));
    const QStringList shown = MsgBox::TakeShownTexts();
    QCOMPARE(shown.size(), refused ? 1 : 0);
    if (refused)
        QVERIFY2(shown.first().startsWith(QString::fromUtf8("Der Name „%1“ geht nicht: ").arg(name)),
                 qPrintable(shown.first()));

    m_frame->DataLinkPrompt = [name](const QString&) { return ExistingDb() + QStringLiteral(";Initial Catalog=") + name; };
    if (refused)
        QVERIFY_THROWS_EXCEPTION(TError, m_frame->AddDatabase(QString()));
    else
        m_frame->AddDatabase(QString());
    QCOMPARE(m_frame->EntryCount(), refused ? 3 : 4);
}

// Two lines pasted become one name with a blank, and a name longer than a field's default
// limit of 32,767 characters is kept whole.
void TstCatalogue::pastedNameLosesLineBreaksAndKeepsItsLength()
{
    Plant({QStringLiteral("A=1")});
    Rename(0, QStringLiteral("zwei\r\nZeilen\nund\rmehr"), true);
    QCOMPARE(m_frame->Root()->child(0)->text(0), QStringLiteral("zwei Zeilen und mehr"));
    const QString longName(40000, QLatin1Char('n'));
    Rename(0, longName, true);
    QCOMPARE(Stored(), QStringList{longName + QStringLiteral("=1")});
}

// A name typed but not yet confirmed when the program closes is taken as confirmed.
void TstCatalogue::nameBeingTypedIsTakenAtClose()
{
    Plant({QStringLiteral("A=1")});
    m_store->WriteValueList(TIniFileEx::WorkspaceSqlSection(QStringLiteral("A")), {QStringLiteral("select 1")});
    m_frame->TreeDB->setCurrentItem(m_frame->Root()->child(0));
    m_frame->RenameDatabase();
    auto* editor = m_frame->TreeDB->findChild<QLineEdit*>(QStringLiteral("TreeDBEditor"));
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("Getippt"));
    m_frame->SaveCatalogue();
    QCOMPARE(Stored(), QStringList{QStringLiteral("Getippt=1")});
    QVERIFY(m_store->SectionExists(TIniFileEx::WorkspaceSqlSection(QStringLiteral("Getippt"))));
}

// A backup of a store made through the program, with the hardest names its editor takes,
// imports into a fresh store and exports again byte for byte.
void TstCatalogue::backupOfHardestNamesRestoresByteForByte()
{
    const QStringList names = {QStringLiteral(" vorne"), QStringLiteral("hinten "), QStringLiteral("An\"führung\""),
                               QStringLiteral("Rück\\strich"), QStringLiteral("[Klammer]"), QStringLiteral("-minus"),
                               QStringLiteral(";Semikolon"), QStringLiteral("@"), QString::fromUtf8("Ümläut € 😀"),
                               QStringLiteral("zwei\nZeilen"), QString()};
    QStringList planted;
    for (int i = 0; i < names.size(); ++i)
        planted.append(QStringLiteral("E%1=Provider=SQLite;Data Source=\"/tmp/x y\";Password=\"a;b\"").arg(i));
    Plant(planted);
    for (int i = 0; i < names.size(); ++i) {
        Rename(i, names.at(i), true);
        const QString name = m_frame->Root()->child(i)->text(0);
        m_store->WriteValueList(TIniFileEx::WorkspaceSqlSection(name),
                                {QStringLiteral("select '\"x\"' -- \\"), QString(), QStringLiteral("\tende ")});
        m_store->WriteInteger(TIniFileEx::WorkspaceSection(name), QStringLiteral("PnlLeft"), i);
    }
    QCOMPARE(MsgBox::TakeShownTexts(), QStringList());
    QStringList skipped;
    const QByteArray backup = RegFile::Export(m_store->Store(), false, &skipped);
    QCOMPARE(skipped, QStringList());
    TIniFileEx fresh(m_store->FileName() + QStringLiteral(".neu"));
    QCOMPARE(RegFile::Import(fresh.Store(), backup), QStringList());
    QCOMPARE(RegFile::Export(fresh.Store()), backup);
    QStringList restored;
    fresh.ReadValueList(TFrameDBLst::CatalogueSection(), restored);
    QCOMPARE(restored, Stored());
    QFile::remove(fresh.FileName());
}

QTEST_MAIN(TstCatalogue)
#include "tst_catalogue.moc"
