#include "settings/IniFileEx.h"
#include "settings/RegistryStore.h"
#include "tests/support/TestSupport.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cerrno>
#include <sys/stat.h>

#include <sqlite3.h>

// Runs SQL on the store file behind the program's back: plants faults and foreign data.
static void RunSql(const QString& file, const char* sql) {
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(file).constData(), &db), SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &error);
    const QString message = QString::fromUtf8(error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
    QVERIFY2(rc == SQLITE_OK, qPrintable(message));
}

static int ModeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

#define QVERIFY_THROWS_MESSAGE(expr, message)                                                                \
    do {                                                                                                     \
        try {                                                                                                \
            expr;                                                                                            \
            QFAIL("no error raised: " #expr);                                                                \
        } catch (const TError& e) {                                                                          \
            QCOMPARE(e.Message(), QString(message));                                                         \
        }                                                                                                    \
    } while (false)

class TestIniFileEx : public QObject {
    Q_OBJECT
private slots:
    void init();
    void ReadString_data();
    void ReadString();
    void ReadInteger_data();
    void ReadInteger();
    void CommaLists_data();
    void CommaLists();
    void ValueListKeepsCreationOrder();
    void ValueListEmptyRemovesSection();
    void OverwriteKeepsPlaceAndNamesIgnoreCase();
    void NestedSectionsAndRecursiveRemoval();
    void ReadSectionLeavesListWhenMissing();
    void MoveSectionValues();
    void ForeignTypes_data();
    void ForeignTypes();
    void UnreadableValuesAreReadAroundAndMovedAside();
    void ReadingStopsAtNul();
    void FailedWriteLeavesOldValueList();
    void WriteErrors();
    void WriteCommaListSwallowsErrors();
    void TwoWritersLoseNothing();
    void UnusableFile_data();
    void UnusableFile();
    void DefaultLocation();
    void PrivateFileModes();
    void ReadOnlyStoreReadsAndWritesNothing_data();
    void ReadOnlyStoreReadsAndWritesNothing();
    void LockedStoreWaitsBrieflyThenSaysInUse();
    void FailureCauses_data();
    void FailureCauses();
    void StartedByHandUsesStoreOfItsOwn();

private:
    QString StoreFile() const { return m_dir->filePath(QStringLiteral("settings.sqlite")); }
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TIniFileEx> m_ini;
};

void TestIniFileEx::init() {
    m_ini.reset();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_ini = std::make_unique<TIniFileEx>(StoreFile());
}

void TestIniFileEx::ReadString_data() {
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("ident");
    QTest::addColumn<QString>("defaultValue");
    QTest::addColumn<QString>("expected");
    QTest::newRow("stored") << "FrmMain"
                            << "Text"
                            << "" << QString::fromUtf8("Grüße \"x\",\\y");
    QTest::newRow("missing section") << "Nowhere"
                                     << "Text"
                                     << ""
                                     << "";
    QTest::newRow("missing value") << "FrmMain"
                                   << "Other"
                                   << ""
                                   << "";
    QTest::newRow("missing value, default") << "FrmMain"
                                            << "Other"
                                            << "d"
                                            << "d";
    QTest::newRow("empty value is no default") << "FrmMain"
                                               << "Empty"
                                               << "d"
                                               << "";
}

void TestIniFileEx::ReadString() {
    QFETCH(QString, section);
    QFETCH(QString, ident);
    QFETCH(QString, defaultValue);
    QFETCH(QString, expected);
    m_ini->WriteString(QStringLiteral("FrmMain"), QStringLiteral("Text"),
                       QString::fromUtf8("Grüße \"x\",\\y"));
    m_ini->WriteString(QStringLiteral("FrmMain"), QStringLiteral("Empty"), QString());
    QCOMPARE(m_ini->ReadString(section, ident, defaultValue), expected);
}

void TestIniFileEx::ReadInteger_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("expected");
    QTest::newRow("positive") << "185" << 185;
    QTest::newRow("negative") << "-7" << -7;
    QTest::newRow("plus sign") << "+3" << 3;
    QTest::newRow("lowest") << "-2147483648" << std::numeric_limits<int>::min();
    QTest::newRow("too big") << "2147483648" << -1;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("letters") << "abc" << -1;
    QTest::newRow("blank") << " 5" << -1;
    QTest::newRow("hex") << "0x10" << -1;
    QTest::newRow("sign only") << "-" << -1;
    QTest::newRow("digits then text") << "12px" << -1;
}

void TestIniFileEx::ReadInteger() {
    QFETCH(QString, stored);
    QFETCH(int, expected);
    m_ini->WriteString(QStringLiteral("Frame.db"), QStringLiteral("PnlLeft"), stored);
    QCOMPARE(m_ini->ReadInteger(QStringLiteral("Frame.db"), QStringLiteral("PnlLeft"), -1), expected);
    QCOMPARE(m_ini->ReadInteger(QStringLiteral("Frame.db"), QStringLiteral("Missing"), 42), 42);
    m_ini->WriteInteger(QStringLiteral("Frame.db"), QStringLiteral("PnlLeft"), -12);
    QCOMPARE(m_ini->ReadString(QStringLiteral("Frame.db"), QStringLiteral("PnlLeft"), QString()),
             QStringLiteral("-12"));
}

void TestIniFileEx::CommaLists_data() {
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("readBack");
    QTest::newRow("none") << QStringList{} << "" << QStringList{};
    QTest::newRow("one") << QStringList{"x"} << "x" << QStringList{"x"};
    QTest::newRow("empty middle") << QStringList{"a", "", "b"} << "a,,b" << QStringList{"a", "", "b"};
    QTest::newRow("empty last") << QStringList{"a", ""} << "a," << QStringList{"a", ""};
    QTest::newRow("blanks kept") << QStringList{" a ", "b "} << " a ,b " << QStringList{" a ", "b "};
    // No quoting: a comma inside an item splits it when read back.
    QTest::newRow("comma in item") << QStringList{"a,b"} << "a,b" << QStringList{"a", "b"};
    // One empty item cannot be told from none.
    QTest::newRow("single empty item") << QStringList{""} << "" << QStringList{};
}

void TestIniFileEx::CommaLists() {
    QFETCH(QStringList, list);
    QFETCH(QString, stored);
    QFETCH(QStringList, readBack);
    m_ini->WriteCommaList(QStringLiteral("S"), QStringLiteral("L"), list);
    QCOMPARE(m_ini->ReadString(QStringLiteral("S"), QStringLiteral("L"), QStringLiteral("missing")), stored);
    QCOMPARE(m_ini->ReadCommaList(QStringLiteral("S"), QStringLiteral("L")), readBack);
    QCOMPARE(m_ini->ReadCommaList(QStringLiteral("S"), QStringLiteral("Missing")), QStringList{});
}

void TestIniFileEx::ValueListKeepsCreationOrder() {
    QStringList items;
    for (int i = 0; i < 12; ++i)
        items.append(QStringLiteral("line %1").arg(11 - i));
    m_ini->WriteValueList(QStringLiteral("Frame.db.SQL"), items);
    QStringList names;
    m_ini->ReadSection(QStringLiteral("Frame.db.SQL"), names);
    QCOMPARE(names, (QStringList{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"}));
    QStringList read{"stale"};
    m_ini->ReadValueList(QStringLiteral("Frame.db.SQL"), read);
    QCOMPARE(read, items);

    // Rewriting a shorter list leaves no old items behind.
    m_ini->WriteValueList(QStringLiteral("Frame.db.SQL"), {QStringLiteral("only")});
    m_ini->ReadValueList(QStringLiteral("Frame.db.SQL"), read);
    QCOMPARE(read, QStringList{"only"});
}

void TestIniFileEx::ValueListEmptyRemovesSection() {
    m_ini->WriteValueList(QStringLiteral("TFrameDBLst.TreeDB"), {QStringLiteral("a=b")});
    QVERIFY(m_ini->SectionExists(QStringLiteral("TFrameDBLst.TreeDB")));
    m_ini->WriteValueList(QStringLiteral("TFrameDBLst.TreeDB"), {});
    QVERIFY(!m_ini->SectionExists(QStringLiteral("TFrameDBLst.TreeDB")));
    QStringList read{"stale"};
    m_ini->ReadValueList(QStringLiteral("TFrameDBLst.TreeDB"), read);
    QCOMPARE(read, QStringList{});
}

void TestIniFileEx::OverwriteKeepsPlaceAndNamesIgnoreCase() {
    const QString section = QString::fromUtf8("Frame.Müller");
    m_ini->WriteString(section, QStringLiteral("b"), QStringLiteral("1"));
    m_ini->WriteString(section, QStringLiteral("a"), QStringLiteral("2"));
    m_ini->WriteString(QString::fromUtf8("FRAME.MÜLLER"), QStringLiteral("B"), QStringLiteral("3"));
    QStringList names;
    m_ini->ReadSection(section, names);
    QCOMPARE(names, (QStringList{"b", "a"}));
    QCOMPARE(m_ini->ReadString(QString::fromUtf8("frame.müller"), QStringLiteral("b"), QString()),
             QStringLiteral("3"));
    // Case-insensitive, but no locale rules: "ß" is not "SS".
    m_ini->WriteString(QString::fromUtf8("Straße"), QStringLiteral("x"), QStringLiteral("1"));
    QVERIFY(!m_ini->SectionExists(QStringLiteral("STRASSE")));
    QVERIFY(m_ini->SectionExists(QString::fromUtf8("STRAßE")));
}

void TestIniFileEx::NestedSectionsAndRecursiveRemoval() {
    m_ini->WriteString(QStringLiteral("Frame.a\\b"), QStringLiteral("PnlLeft"), QStringLiteral("1"));
    m_ini->WriteString(QStringLiteral("Frame.a\\b.SQL"), QStringLiteral("0"), QStringLiteral("x"));
    m_ini->WriteString(QStringLiteral("Frame.a"), QStringLiteral("own"), QStringLiteral("y"));
    m_ini->WriteString(QStringLiteral("Frame.ab"), QStringLiteral("keep"), QStringLiteral("z"));

    TRegistryStore& store = m_ini->Store();
    const std::optional<qint64> parent = store.FindKey(TIniFileEx::SectionPath(QStringLiteral("Frame.a")));
    QVERIFY(parent);
    QList<QString> subNames;
    for (const TRegKey& key : store.SubKeys(*parent))
        subNames.append(key.Name);
    QCOMPARE(subNames, (QList<QString>{"b", "b.SQL"}));

    m_ini->RemoveSection(QStringLiteral("Frame.a"));
    QVERIFY(!m_ini->SectionExists(QStringLiteral("Frame.a\\b")));
    QVERIFY(!m_ini->SectionExists(QStringLiteral("Frame.a")));
    QCOMPARE(m_ini->ReadString(QStringLiteral("Frame.ab"), QStringLiteral("keep"), QString()),
             QStringLiteral("z"));
    m_ini->RemoveSection(QStringLiteral("Frame.a")); // missing: no error

    // No section name stands for the base key: removing it would take every setting along.
    for (const QString& section : {QString(), QStringLiteral("\\")}) {
        QVERIFY_THROWS_MESSAGE(m_ini->RemoveSection(section),
                               QStringLiteral("Löschen von Schlüssel %1 misslungen: kein Abschnitt angegeben")
                                   .arg(section));
        QVERIFY_THROWS_MESSAGE(m_ini->WriteValueList(section, {QStringLiteral("x")}),
                               QStringLiteral("Löschen von Schlüssel %1 misslungen: kein Abschnitt angegeben")
                                   .arg(section));
    }
    QCOMPARE(m_ini->ReadString(QStringLiteral("Frame.ab"), QStringLiteral("keep"), QString()),
             QStringLiteral("z"));
}

// A renamed database takes its values along in their order; what lies below the old key
// (another name's sections) stays, and a key left empty goes.
void TestIniFileEx::MoveSectionValues() {
    m_ini->WriteValueList(QStringLiteral("Frame.alt.SQL"), {QStringLiteral("b"), QStringLiteral("a")});
    m_ini->WriteString(QStringLiteral("Frame.alt"), QStringLiteral("PnlLeft"), QStringLiteral("7"));
    m_ini->WriteString(QStringLiteral("Frame.alt\\unten"), QStringLiteral("PnlLeft"), QStringLiteral("8"));
    m_ini->MoveSectionValues(QStringLiteral("Frame.alt.SQL"), QStringLiteral("Frame.neu.SQL"));
    m_ini->MoveSectionValues(QStringLiteral("Frame.alt"), QStringLiteral("Frame.neu"));
    QStringList lines;
    m_ini->ReadValueList(QStringLiteral("Frame.neu.SQL"), lines);
    QCOMPARE(lines, (QStringList{"b", "a"}));
    QCOMPARE(m_ini->ReadString(QStringLiteral("Frame.neu"), QStringLiteral("PnlLeft"), QString()), QStringLiteral("7"));
    QVERIFY(!m_ini->SectionExists(QStringLiteral("Frame.alt.SQL")));
    QCOMPARE(m_ini->ReadString(QStringLiteral("Frame.alt"), QStringLiteral("PnlLeft"), QString()), QString());
    QCOMPARE(m_ini->ReadString(QStringLiteral("Frame.alt\\unten"), QStringLiteral("PnlLeft"), QString()),
             QStringLiteral("8"));
    m_ini->MoveSectionValues(QStringLiteral("Frame.fehlt"), QStringLiteral("Frame.neu")); // no error
}

void TestIniFileEx::ReadSectionLeavesListWhenMissing() {
    QStringList list{"kept"};
    m_ini->ReadSection(QStringLiteral("Missing"), list);
    QCOMPARE(list, QStringList{"kept"});
}

void TestIniFileEx::ForeignTypes_data() {
    QTest::addColumn<quint32>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("readable");
    QTest::newRow("dword") << quint32(RegDword) << QByteArray("\x2a\0\0\0", 4) << false;
    QTest::newRow("binary") << quint32(RegBinary) << QByteArray("1\0\0\0", 4) << false;
    QTest::newRow("multi string") << quint32(RegMultiSz)
                                  << RegStringData(QStringLiteral("1")) + QByteArray(2, 0) << false;
    QTest::newRow("expandable string")
        << quint32(RegExpandSz) << RegStringData(QStringLiteral("%HOME%")) << true;
}

void TestIniFileEx::ForeignTypes() {
    QFETCH(quint32, type);
    QFETCH(QByteArray, data);
    QFETCH(bool, readable);
    TRegistryStore& store = m_ini->Store();
    const qint64 key = store.CreateKey(TIniFileEx::SectionPath(QStringLiteral("Frame.db")));
    store.SetValue(key, QStringLiteral("PnlLeftTop"), type, data);
    const QString section = QStringLiteral("Frame.db"), ident = QStringLiteral("PnlLeftTop");
    if (readable) {
        QCOMPARE(m_ini->ReadString(section, ident, QString()), QStringLiteral("%HOME%"));
        return;
    }
    const QString message = QStringLiteral("Ungültiger Datentyp für 'PnlLeftTop'");
    QVERIFY_THROWS_MESSAGE(m_ini->ReadString(section, ident, QString()), message);
    QVERIFY_THROWS_MESSAGE(m_ini->ReadInteger(section, ident, 5), message);
    QVERIFY_THROWS_MESSAGE(m_ini->ReadCommaList(section, ident), message);
    QStringList list;
    QVERIFY_THROWS_MESSAGE(m_ini->ReadValueList(section, list), message);
    // Saving a placement over a foreign record replaces it instead of failing.
    TWindowPlacement window;
    window.ClassName = ident;
    window.Left = 10;
    m_ini->SaveFormPlacement(section, window);
    QCOMPARE(m_ini->ReadString(section, ident, QString()), QStringLiteral("0,10,0,0,0"));
}

void TestIniFileEx::UnreadableValuesAreReadAroundAndMovedAside() {
    TRegistryStore& store = m_ini->Store();
    const QString section = QStringLiteral("L"), aside = QStringLiteral("L.Unlesbar");
    const qint64 key = store.CreateKey(TIniFileEx::SectionPath(section));
    const QByteArray dword("\x07\0\0\0", 4), binary("\x01\x02", 2);
    store.SetValue(key, QStringLiteral("0"), RegSz, RegStringData(QStringLiteral("a")));
    store.SetValue(key, QStringLiteral("1"), RegDword, dword);
    store.SetValue(key, QStringLiteral("2"), RegSz, RegStringData(QStringLiteral("b")));
    store.SetValue(key, QStringLiteral("3"), RegBinary, binary);
    m_ini->WriteString(aside, QStringLiteral("1"), QStringLiteral("moved before"));

    QStringList list;
    QCOMPARE(m_ini->ReadReadableValueList(section, list),
             (QStringList{QStringLiteral("1"), QStringLiteral("3")}));
    QCOMPARE(list, (QStringList{QStringLiteral("a"), QStringLiteral("b")}));

    m_ini->WriteValueListKeepingOthers(
        section, {QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z")}, aside);
    QCOMPARE(m_ini->ReadReadableValueList(section, list), QStringList{});
    QCOMPARE(list, (QStringList{QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z")}));
    const QList<TRegValue> kept = store.Values(*store.FindKey(TIniFileEx::SectionPath(aside)));
    QCOMPARE(kept.size(), 3);
    QCOMPARE(m_ini->ReadString(aside, QStringLiteral("1"), QString()), QStringLiteral("moved before"));
    QCOMPARE(kept.at(1).Name, QStringLiteral("1-2"));
    QCOMPARE(kept.at(1).Type, quint32(RegDword));
    QCOMPARE(kept.at(1).Data, dword);
    QCOMPARE(kept.at(2).Name, QStringLiteral("3"));
    QCOMPARE(kept.at(2).Data, binary);
}

void TestIniFileEx::ReadingStopsAtNul() {
    TRegistryStore& store = m_ini->Store();
    const qint64 key = store.CreateKey(TIniFileEx::SectionPath(QStringLiteral("S")));
    store.SetValue(key, QStringLiteral("a"), RegSz,
                   RegStringData(QStringLiteral("ab")) + RegStringData(QStringLiteral("xyz")));
    store.SetValue(key, QStringLiteral("b"), RegSz, QByteArray("x\0y", 3)); // odd length, no terminator
    store.SetValue(key, QStringLiteral("c"), RegSz, QByteArray());
    QCOMPARE(m_ini->ReadString(QStringLiteral("S"), QStringLiteral("a"), QString()), QStringLiteral("ab"));
    QCOMPARE(m_ini->ReadString(QStringLiteral("S"), QStringLiteral("b"), QString()), QStringLiteral("x"));
    QCOMPARE(m_ini->ReadString(QStringLiteral("S"), QStringLiteral("c"), QStringLiteral("d")), QString());
    m_ini->WriteString(QStringLiteral("S"), QStringLiteral("d"),
                       QStringLiteral("before") + QChar(0) + QStringLiteral("after"));
    QCOMPARE(m_ini->ReadString(QStringLiteral("S"), QStringLiteral("d"), QString()),
             QStringLiteral("before"));
}

void TestIniFileEx::FailedWriteLeavesOldValueList() {
    const QStringList old{"Alt=1", "Alt=2", "Alt=3"};
    m_ini->WriteValueList(QStringLiteral("TFrameDBLst.TreeDB"), old);
    RunSql(StoreFile(), "CREATE TRIGGER fail BEFORE INSERT ON reg_value WHEN NEW.name = '5'"
                        " BEGIN SELECT RAISE(ABORT, 'disk full'); END");
    QStringList replacement;
    for (int i = 0; i < 8; ++i)
        replacement.append(QStringLiteral("Neu=%1").arg(i));
    QVERIFY_THROWS_MESSAGE(
        m_ini->WriteValueList(QStringLiteral("TFrameDBLst.TreeDB"), replacement),
        QStringLiteral("Fehler beim Setzen der Daten für '5' im Abschnitt „TFrameDBLst.TreeDB“: "
                       "die Datenbank hat die Änderung abgewiesen"));
    QStringList read;
    m_ini->ReadValueList(QStringLiteral("TFrameDBLst.TreeDB"), read);
    QCOMPARE(read, old);
    // A second program sees the old list as well: nothing half written reached the file.
    TIniFileEx other(StoreFile());
    other.ReadValueList(QStringLiteral("TFrameDBLst.TreeDB"), read);
    QCOMPARE(read, old);
}

void TestIniFileEx::WriteErrors() {
    RunSql(StoreFile(), "CREATE TRIGGER nokey BEFORE INSERT ON reg_key"
                        " BEGIN SELECT RAISE(ABORT, 'no keys'); END;"
                        "CREATE TRIGGER novalue BEFORE UPDATE ON reg_value"
                        " BEGIN SELECT RAISE(ABORT, 'no update'); END;");
    QVERIFY_THROWS_MESSAGE(
        m_ini->WriteString(QStringLiteral("Neu\\Sub"), QStringLiteral("x"), QStringLiteral("1")),
        QString::fromUtf8(
            "Erzeugung von Schlüssel Neu\\Sub misslungen: die Datenbank hat die Änderung abgewiesen"));
    QVERIFY(!m_ini->SectionExists(QStringLiteral("Neu")));
    m_ini->WriteString(QString(), QStringLiteral("Top"), QStringLiteral("1")); // the base key exists
    QVERIFY_THROWS_MESSAGE(
        m_ini->WriteInteger(QString(), QStringLiteral("Top"), 2),
        QString::fromUtf8("Fehler beim Setzen der Daten für 'Top': die Datenbank hat die Änderung "
                          "abgewiesen"));
    QCOMPARE(m_ini->ReadInteger(QString(), QStringLiteral("Top"), 0), 1);
}

void TestIniFileEx::WriteCommaListSwallowsErrors() {
    RunSql(StoreFile(), "CREATE TRIGGER fail BEFORE INSERT ON reg_value BEGIN SELECT RAISE(ABORT, 'x'); END");
    m_ini->WriteCommaList(QStringLiteral("FrmMain"), QStringLiteral("TFrmMain"), {QStringLiteral("0")});
    TWindowPlacement window;
    window.ComponentName = QStringLiteral("FrmMain");
    window.ClassName = QStringLiteral("TFrmMain");
    m_ini->SaveFormPlacement(QString(), window);
    QCOMPARE(m_ini->ReadCommaList(QStringLiteral("FrmMain"), QStringLiteral("TFrmMain")), QStringList{});
}

// Two programs on one file, each writing its own values and rewriting a shared value list:
// every single value arrives and the shared list is always one writer's whole list.
class TWriter : public QThread {
public:
    TWriter(QString file, QString name)
        : m_file(std::move(file))
        , m_name(std::move(name)) {}
    QString Error;

protected:
    void run() override {
        try {
            TIniFileEx ini(m_file);
            for (int i = 0; i < 150; ++i) {
                ini.WriteInteger(QStringLiteral("Shared"), m_name + QString::number(i), i);
                ini.WriteValueList(QStringLiteral("List"), QStringList(20, m_name));
            }
        } catch (const TError& e) {
            Error = e.Message();
        }
    }

private:
    QString m_file, m_name;
};

void TestIniFileEx::TwoWritersLoseNothing() {
    TWriter first(StoreFile(), QStringLiteral("a")), second(StoreFile(), QStringLiteral("b"));
    first.start();
    second.start();
    QVERIFY(first.wait(120000) && second.wait(120000));
    QCOMPARE(first.Error, QString());
    QCOMPARE(second.Error, QString());
    QStringList names;
    m_ini->ReadSection(QStringLiteral("Shared"), names);
    QCOMPARE(names.size(), 300);
    for (int i = 0; i < 150; ++i) {
        QCOMPARE(m_ini->ReadInteger(QStringLiteral("Shared"), QStringLiteral("a%1").arg(i), -1), i);
        QCOMPARE(m_ini->ReadInteger(QStringLiteral("Shared"), QStringLiteral("b%1").arg(i), -1), i);
    }
    QStringList list;
    m_ini->ReadValueList(QStringLiteral("List"), list);
    QCOMPARE(list.size(), 20);
    QCOMPARE(list.count(list.first()), 20);
}

void TestIniFileEx::UnusableFile_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("reason");
    QTest::newRow("directory") << "dir"
                               << "sie ist ein Ordner, keine Datei";
    QTest::newRow("device") << "device"
                            << "sie ist ein Gerät, keine Datei";
    QTest::newRow("not a database") << "text"
                                    << "die Datei ist keine Einstellungsdatei";
    QTest::newRow("another program's database") << "foreign"
                                                << "keine Einstellungsdatei von Tabulo";
    QTest::newRow("newer format") << "newer"
                                  << "die Datei stammt von einer neueren Version von Tabulo";
}

void TestIniFileEx::UnusableFile() {
    QFETCH(QString, setup);
    QFETCH(QString, reason);
    m_ini.reset();
    const QString file =
        setup == QLatin1String("device") ? QStringLiteral("/dev/null") : m_dir->filePath(QStringLiteral("bad.sqlite"));
    if (setup == QLatin1String("device")) {
    } else if (setup == QLatin1String("dir")) {
        QVERIFY(QDir().mkpath(file));
    } else if (setup == QLatin1String("text")) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
    } else if (setup == QLatin1String("foreign")) {
        RunSql(file, "CREATE TABLE kunden(id INTEGER)");
    } else {
        { TIniFileEx create(file); }
        RunSql(file, "PRAGMA user_version=7");
    }
    // Another program's file keeps its mode as well as its content. The device is the
    // system's own: its mode is never touched, not even by the test (run as root it could).
    const bool ownFile = setup != QLatin1String("dir") && setup != QLatin1String("device");
    const int deviceMode = ModeOf(QStringLiteral("/dev/null"));
    if (ownFile)
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                                QFile::ReadOther));
    const QByteArray before = [&] {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    try {
        TIniFileEx ini(file);
        QFAIL("opened an unusable file");
    } catch (const TError& e) {
        const QString prefix =
            QStringLiteral("Die Einstellungsdatei '%1' kann nicht geöffnet werden: ").arg(file);
        QVERIFY2(e.Message().startsWith(prefix), qPrintable(e.Message()));
        if (!reason.isEmpty())
            QCOMPARE(e.Message().mid(prefix.size()), reason);
    }
    if (ownFile) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before); // never altered
        QCOMPARE(ModeOf(file), 0644);
    }
    QCOMPARE(ModeOf(QStringLiteral("/dev/null")), deviceMode);
}

void TestIniFileEx::DefaultLocation() {
    const QByteArray saved = qgetenv("TABULO_SETTINGS"), savedXdg = qgetenv("XDG_CONFIG_HOME");
    qputenv("TABULO_SETTINGS", m_dir->filePath(QStringLiteral("env.sqlite")).toUtf8());
    QCOMPARE(TIniFileEx::DefaultSettingsFile(), m_dir->filePath(QStringLiteral("env.sqlite")));
    qunsetenv("TABULO_SETTINGS");
    qputenv("XDG_CONFIG_HOME", m_dir->filePath(QStringLiteral("config")).toUtf8());
    const QString expected = m_dir->filePath(QStringLiteral("config/Tabulo/settings.sqlite"));
    QCOMPARE(TIniFileEx::DefaultSettingsFile(), expected);
    {
        TIniFileEx ini; // creates the missing folders
        ini.WriteString(QStringLiteral("S"), QStringLiteral("x"), QStringLiteral("1"));
    }
    QVERIFY(QFile::exists(expected));
    qputenv("TABULO_SETTINGS", saved);
    qputenv("XDG_CONFIG_HOME", savedXdg);
}

// A test program started by hand, without the test script, must not reach the settings of the
// user who started it: neither the default file below the home folder nor a TABULO_SETTINGS
// the user set for the program.
void TestIniFileEx::StartedByHandUsesStoreOfItsOwn() {
    if (qEnvironmentVariableIsSet("TABULO_BY_HAND_CHILD")) {
        TIniFileEx ini;
        ini.WriteString(QStringLiteral("S"), QStringLiteral("x"), QStringLiteral("1"));
        return;
    }
    const QString home = m_dir->filePath(QStringLiteral("home"));
    QVERIFY(QDir().mkpath(home));
    const QString own = home + QStringLiteral("/own.sqlite");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"TABULO_TEST_TMP", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
        env.remove(QLatin1String(name));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("TABULO_SETTINGS"), own);
    env.insert(QStringLiteral("TABULO_BY_HAND_CHILD"), QStringLiteral("1"));
    QProcess child;
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("StartedByHandUsesStoreOfItsOwn")});
    QVERIFY(child.waitForFinished(60000));
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
             child.readAllStandardOutput().constData());
    QVERIFY(!QFileInfo::exists(own));
    QVERIFY(!QFileInfo::exists(home + QStringLiteral("/.config/Tabulo")));
}


// The store holds passwords inside connection strings: nobody but its user may read it.
void TestIniFileEx::PrivateFileModes() {
    m_ini.reset();
    const QString file = m_dir->filePath(QStringLiteral("neu/tiefer/settings.sqlite"));
    {
        TIniFileEx ini(file);
        ini.WriteString(QStringLiteral("S"), QStringLiteral("x"), QStringLiteral("1"));
    }
    QCOMPARE(ModeOf(file), 0600);
    QCOMPARE(ModeOf(m_dir->filePath(QStringLiteral("neu"))), 0700);
    QCOMPARE(ModeOf(m_dir->filePath(QStringLiteral("neu/tiefer"))), 0700);

    // A store that an earlier version left readable is tightened, journal files included.
    QFile(file + QStringLiteral("-wal")).open(QIODevice::WriteOnly);
    for (const QString& path : {file, file + QStringLiteral("-wal")})
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                                QFile::ReadOther));
    {
        TIniFileEx ini(file);
        QCOMPARE(ini.ReadString(QStringLiteral("S"), QStringLiteral("x"), QString()), QStringLiteral("1"));
        QCOMPARE(ModeOf(file), 0600);
        QCOMPARE(ModeOf(file + QStringLiteral("-wal")), 0600);
        QCOMPARE(ini.OpenToOthers(), QString());
    }

    // One that cannot be tightened says why, so the user can be told.
    QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    const auto restore = qScopeGuard([&] { TestSupport::SetUnwritable(file, false); });
    if (!TestSupport::SetUnwritable(file, true))
        QSKIP("this system lets the test change an unchangeable file");
    TIniFileEx ini(file);
    QVERIFY(!ini.OpenToOthers().isEmpty());
    QCOMPARE(ModeOf(file), 0604);
}

void TestIniFileEx::ReadOnlyStoreReadsAndWritesNothing_data() {
    QTest::addColumn<bool>("folderToo");
    QTest::newRow("file") << false;
    QTest::newRow("file and folder") << true;
}

void TestIniFileEx::ReadOnlyStoreReadsAndWritesNothing() {
    QFETCH(bool, folderToo);
    const QStringList catalogue{QStringLiteral("A=1"), QStringLiteral("B=2")};
    m_ini->WriteValueList(QStringLiteral("TFrameDBLst.TreeDB"), catalogue);
    m_ini.reset(); // a clean close leaves the file alone, without journal
    const QString folder = m_dir->path();
    const auto restore = qScopeGuard([&] {
        TestSupport::SetUnwritable(StoreFile(), false);
        TestSupport::SetUnwritable(folder, false);
    });
    if (!TestSupport::SetUnwritable(StoreFile(), true) ||
        (folderToo && !TestSupport::SetUnwritable(folder, true)))
        QSKIP("this system lets the test write an unwritable file");

    TIniFileEx ini(StoreFile());
    QVERIFY(ini.ReadOnly());
    QStringList read;
    ini.ReadValueList(QStringLiteral("TFrameDBLst.TreeDB"), read);
    QCOMPARE(read, catalogue);
    // Closing the program writes all of these: none may fail, none may change anything.
    ini.WriteValueList(QStringLiteral("TFrameDBLst.TreeDB"), {});
    ini.WriteValueListKeepingOthers(QStringLiteral("TFrameDBLst.TreeDB"), {}, QStringLiteral("X"));
    ini.WriteInteger(QStringLiteral("FrmMain"), QStringLiteral("FrameDBLst"), 200);
    ini.RemoveSection(QStringLiteral("TFrameDBLst.TreeDB"));
    TWindowPlacement window;
    window.ComponentName = QStringLiteral("FrmMain");
    window.ClassName = QStringLiteral("TFrmMain");
    ini.SaveFormPlacement(QString(), window);
    ini.ReadValueList(QStringLiteral("TFrameDBLst.TreeDB"), read);
    QCOMPARE(read, catalogue);
    QVERIFY(!ini.SectionExists(QStringLiteral("FrmMain")));
}

// Another program holding the store's write lock: reading goes on, a write gives up after
// about two seconds with the hourglass shown meanwhile, and says why.
void TestIniFileEx::LockedStoreWaitsBrieflyThenSaysInUse() {
    m_ini->WriteString(QStringLiteral("S"), QStringLiteral("x"), QStringLiteral("1"));
    m_ini.reset();
    sqlite3* other = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(StoreFile()).constData(), &other), SQLITE_OK);
    const auto release = qScopeGuard([&] { sqlite3_close(other); });
    QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

    QList<bool> hourglass;
    TRegistryStore::SetLockWaitNotifier([&](bool waiting) { hourglass.append(waiting); });
    const auto unhook = qScopeGuard([] { TRegistryStore::SetLockWaitNotifier(nullptr); });
    TIniFileEx ini(StoreFile());
    QCOMPARE(ini.ReadString(QStringLiteral("S"), QStringLiteral("x"), QString()), QStringLiteral("1"));
    QVERIFY(hourglass.isEmpty());
    QElapsedTimer waited;
    waited.start();
    QVERIFY_THROWS_MESSAGE(ini.WriteString(QStringLiteral("S"), QStringLiteral("x"), QStringLiteral("2")),
                           QStringLiteral("Fehler beim Setzen der Daten für 'x' im Abschnitt „S“: die "
                                          "Einstellungen werden gerade von einem anderen Programm benutzt"));
    QVERIFY2(waited.elapsed() >= TRegistryStore::LockWaitMs - 100 && waited.elapsed() < 10000,
             qPrintable(QString::number(waited.elapsed())));
    QCOMPARE(hourglass, (QList<bool>{true, false}));

    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    ini.WriteString(QStringLiteral("S"), QStringLiteral("x"), QStringLiteral("2"));
    QCOMPARE(ini.ReadString(QStringLiteral("S"), QStringLiteral("x"), QString()), QStringLiteral("2"));
}

void TestIniFileEx::FailureCauses_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("cause");
    QTest::newRow("disk full") << int(SQLITE_FULL) << 0 << "der Datenträger ist voll";
    QTest::newRow("write failed, no space")
        << int(SQLITE_IOERR_WRITE) << ENOSPC << "der Datenträger ist voll";
    QTest::newRow("read-only") << int(SQLITE_READONLY) << 0 << "die Einstellungsdatei ist schreibgeschützt";
    QTest::newRow("read-only file system")
        << int(SQLITE_CANTOPEN) << EROFS << "die Einstellungsdatei ist schreibgeschützt";
    QTest::newRow("locked") << int(SQLITE_BUSY) << 0
                            << "die Einstellungen werden gerade von einem anderen Programm benutzt";
    QTest::newRow("not a database") << int(SQLITE_NOTADB) << 0 << "die Datei ist keine Einstellungsdatei";
    QTest::newRow("corrupt") << int(SQLITE_CORRUPT) << 0 << "die Einstellungsdatei ist beschädigt";
    QTest::newRow("no permission") << int(SQLITE_CANTOPEN) << EACCES
                                   << "keine Berechtigung für die Einstellungsdatei";
    QTest::newRow("stale errno ignored")
        << int(SQLITE_BUSY) << ENOSPC << "die Einstellungen werden gerade von einem anderen Programm benutzt";
}

void TestIniFileEx::FailureCauses() {
    QFETCH(int, code);
    QFETCH(int, error);
    QFETCH(QString, cause);
    QCOMPARE(StoreFailureCause(code, error), cause);
}

QTEST_GUILESS_MAIN(TestIniFileEx)
#include "tst_inifileex.moc"
