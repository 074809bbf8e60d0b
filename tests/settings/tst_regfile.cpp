#include "settings/IniFileEx.h"
#include "settings/RegFile.h"
#include "settings/RegistryStore.h"

#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

const QByteArray Head = "Windows Registry Editor Version 5.00\r\n\r\n";
const QByteArray Base = "[HKEY_CURRENT_USER\\SOFTWARE\\ZANDRIX\\Dorvan";

// Every key below the base with its values as "path|name|type|hex", in enumeration order.
QStringList Dump(TRegistryStore& store, qint64 key, const QString& path) {
    QStringList out;
    for (const TRegValue& v : store.Values(key))
        out.append(QStringLiteral("%1|%2|%3|%4")
                       .arg(path, v.Name)
                       .arg(v.Type)
                       .arg(QString::fromLatin1(v.Data.toHex())));
    if (out.isEmpty())
        out.append(path);
    for (const TRegKey& sub : store.SubKeys(key))
        out += Dump(store, sub.Id, path + u'\\' + sub.Name);
    return out;
}

QStringList Dump(TIniFileEx& ini) {
    return Dump(ini.Store(), *ini.Store().FindKey(TIniFileEx::SectionPath(QString())), QString());
}

QByteArray Utf16(const QByteArray& utf8) {
    QStringEncoder encoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
    return encoder.encode(QString::fromUtf8(utf8));
}

} // namespace

class TestRegFile : public QObject {
    Q_OBJECT
private slots:
    void init();
    void RoundTrip();
    void ExportFormat();
    void NamesImportCannotReadAreLeftOutAndSaid();
    void ImportLikeTheRegistryEditor_data();
    void ImportLikeTheRegistryEditor();
    void ImportedDwordIsInvalidType();
    void ImportKeepsOrderAndMerges();
    void SyntaxErrorChangesNothing_data();
    void SyntaxErrorChangesNothing();
    void ToolUsesStdinAndStdout();
    void ToolReportsErrors();
    void ToolExportIsPrivate();
    void ConcurrentProcessesLoseNothing();

private:
    QString StoreFile() const { return m_dir->filePath(QStringLiteral("settings.sqlite")); }
    QProcess* Tool(const QStringList& args);
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TIniFileEx> m_ini;
};

void TestRegFile::init() {
    m_ini.reset();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_ini = std::make_unique<TIniFileEx>(StoreFile());
}

void TestRegFile::RoundTrip() {
    const QString catalogue = QStringLiteral("TFrameDBLst.TreeDB");
    m_ini->WriteValueList(catalogue,
                          {QString::fromUtf8("Müller \"GmbH\"=Provider=SQLite;Data Source=C:\\daten\\ä.db"),
                           QStringLiteral("a\\\\b\"=\\\""), QString(),
                           QStringLiteral("zwei\r\nZeilen\nund\rmehr"), QString::fromUtf8("€ 😀 ß")});
    m_ini->WriteString(QString(), QString(), QStringLiteral("Standardwert"));
    m_ini->WriteString(QStringLiteral("Frame.x\\y"), QStringLiteral("Name \"mit\" \\"), QStringLiteral("1"));
    TRegistryStore& store = m_ini->Store();
    const qint64 frame = store.CreateKey(TIniFileEx::SectionPath(QStringLiteral("Frame.x")));
    store.SetValue(frame, QStringLiteral("PnlLeftTop"), RegDword, QByteArray("\x2a\0\0\x80", 4));
    store.SetValue(frame, QStringLiteral("Bin"), RegBinary, QByteArray(100, '\xab'));
    store.SetValue(frame, QStringLiteral("Leer"), RegBinary, QByteArray());
    store.SetValue(frame, QStringLiteral("Pfad"), RegExpandSz, RegStringData(QStringLiteral("%HOME%\\x")));
    store.SetValue(frame, QStringLiteral("Nul"), RegSz, QByteArray("a\0b\0\0\0c\0\0\0", 10));
    store.SetValue(frame, QStringLiteral("Quad"), RegQword, QByteArray(8, '\x01'));
    store.CreateKey(TIniFileEx::SectionPath(QStringLiteral("Leer")));
    const QStringList before = Dump(*m_ini);

    const QByteArray exported = RegFile::Export(store);
    for (bool utf16 : {false, true}) {
        TIniFileEx fresh(m_dir->filePath(utf16 ? QStringLiteral("b.sqlite") : QStringLiteral("a.sqlite")));
        QCOMPARE(RegFile::Import(fresh.Store(), utf16 ? RegFile::Export(store, true) : exported),
                 QStringList{});
        QCOMPARE(Dump(fresh), before);
        QCOMPARE(RegFile::Export(fresh.Store()), exported);
        QStringList list;
        fresh.ReadValueList(catalogue, list);
        QCOMPARE(list.at(3), QStringLiteral("zwei\r\nZeilen\nund\rmehr"));
    }
}

void TestRegFile::ExportFormat() {
    m_ini->WriteString(QStringLiteral("FrmMain"), QStringLiteral("TFrmMain"),
                       QStringLiteral("2,10,20,800,600"));
    m_ini->WriteString(QStringLiteral("FrmMain"), QStringLiteral("a\"b"), QStringLiteral("x\\y"));
    m_ini->WriteString(QStringLiteral("FrmMain"), QStringLiteral("nl"), QStringLiteral("a\nb"));
    TRegistryStore& store = m_ini->Store();
    const qint64 key = *store.FindKey(TIniFileEx::SectionPath(QStringLiteral("FrmMain")));
    store.SetValue(key, QStringLiteral("d"), RegDword, QByteArray("\x2a\0\0\0", 4));
    store.SetValue(key, QStringLiteral("long"), RegBinary, QByteArray(30, '\x0f'));
    const QByteArray expected =
        Head + Base + "]\r\n\r\n" + Base +
        "\\FrmMain]\r\n"
        "\"TFrmMain\"=\"2,10,20,800,600\"\r\n"
        "\"a\\\"b\"=\"x\\\\y\"\r\n"
        "\"nl\"=hex(1):61,00,0a,00,62,00,00,00\r\n"
        "\"d\"=dword:0000002a\r\n"
        "\"long\"=hex:0f,0f,0f,0f,0f,0f,0f,0f,0f,0f,0f,0f,0f,0f,0f,0f,0f,0f,0f,0f,0f,0f,\\\r\n"
        "  0f,0f,0f,0f,0f,0f,0f,0f\r\n\r\n";
    QCOMPARE(RegFile::Export(store), expected);
    for (const QByteArray& line : RegFile::Export(store).split('\n'))
        QVERIFY(line.size() <= 81); // 80 characters and the CR
}

// A key or value name with a line break would break the file so that import refuses it: it is
// left out and said. Blanks at the end of a key name are part of it and come back.
void TestRegFile::NamesImportCannotReadAreLeftOutAndSaid() {
    m_ini->WriteString(QStringLiteral("Frame.abc "), QStringLiteral("PnlLeft"), QStringLiteral("1"));
    m_ini->WriteString(QStringLiteral("Frame.abc"), QStringLiteral("PnlLeft"), QStringLiteral("2"));
    m_ini->WriteString(QStringLiteral("Frame. x"), QStringLiteral("PnlLeft"), QStringLiteral("3"));
    m_ini->WriteString(QStringLiteral("Frame.zwei\nZeilen"), QStringLiteral("PnlLeft"), QStringLiteral("4"));
    m_ini->WriteString(QStringLiteral("FrmMain"), QStringLiteral("a\r\nb"), QStringLiteral("5"));
    m_ini->WriteString(QStringLiteral("FrmMain"), QStringLiteral("ok"), QStringLiteral("6"));
    QStringList skipped;
    const QByteArray exported = RegFile::Export(m_ini->Store(), false, &skipped);
    QCOMPARE(skipped.size(), 2);
    QVERIFY2(skipped.at(0).contains(QStringLiteral("Frame.zwei\nZeilen")), qPrintable(skipped.at(0)));
    QVERIFY2(skipped.at(1).contains(QStringLiteral("a\r\nb")), qPrintable(skipped.at(1)));

    TIniFileEx fresh(m_dir->filePath(QStringLiteral("fresh.sqlite")));
    QCOMPARE(RegFile::Import(fresh.Store(), exported), QStringList{});
    QCOMPARE(fresh.ReadString(QStringLiteral("Frame.abc "), QStringLiteral("PnlLeft"), QString()), QStringLiteral("1"));
    QCOMPARE(fresh.ReadString(QStringLiteral("Frame.abc"), QStringLiteral("PnlLeft"), QString()), QStringLiteral("2"));
    QCOMPARE(fresh.ReadString(QStringLiteral("Frame. x"), QStringLiteral("PnlLeft"), QString()), QStringLiteral("3"));
    QCOMPARE(fresh.ReadString(QStringLiteral("FrmMain"), QStringLiteral("ok"), QString()), QStringLiteral("6"));
    QVERIFY(!fresh.SectionExists(QStringLiteral("Frame.zwei\nZeilen")));
    QCOMPARE(RegFile::Export(fresh.Store()), exported);
}

void TestRegFile::ImportLikeTheRegistryEditor_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("warnings");
    // What the fixture holds before every import.
    const QStringList keep{"\\Keep|stays|1|1", "\\Keep|gone|1|1"};
    const QStringList old{"\\Old", "\\Old\\Sub|x|1|1"};

    // As the Windows registry editor exports a whole branch: UTF-16LE, BOM, parents above the base.
    const QByteArray windows =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\ZANDRIX]\r\n\r\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\ZANDRIX\\Dorvan]\r\n\r\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\ZANDRIX\\Dorvan\\FrmMain]\r\n"
        "\"TFrmMain\"=\"0,100,100,5000,5000\"\r\n"
        "\"FrameDBLst\"=\"185\"\r\n\r\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\ZANDRIX\\Dorvan\\TFrameDBLst.TreeDB]\r\n"
        "\"0\"=\"Kunden=Provider=SQLOLEDB.1;Data Source=srv\\\\inst\"\r\n"
        "\"1\"=\"Ä=Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\\\db.mdb\"\r\n\r\n";
    QTest::newRow("windows export")
        << Utf16(windows)
        << QStringList{"", "\\FrmMain|TFrmMain|1|0,100,100,5000,5000", "\\FrmMain|FrameDBLst|1|185"} + keep +
               old +
               QStringList{
                   "\\TFrameDBLst.TreeDB|0|1|Kunden=Provider=SQLOLEDB.1;Data Source=srv\\inst",
                   QString::fromUtf8(
                       "\\TFrameDBLst.TreeDB|1|1|Ä=Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\db.mdb")}
        << 0;
    QTest::newRow("LF, comments, hex continuation, case of names")
        << QByteArray("Windows Registry Editor Version 5.00\n\n; a comment \\\n"
                      "[hkcu\\software\\zandrix\\dorvan\\S]\n"
                      "\"t\"=hex(1):61,00,\\\n  62,00,00,00\n"
                      "@=\"default\"\n"
                      "\"E\" = hex(2):25,00,00,00\n"
                      "[hkcu\\software\\zandrix\\dorvan\\keep]\n\"STAYS\"=\"2\"\n")
        << QStringList{"", "\\Keep|stays|1|2", "\\Keep|gone|1|1"} + old +
               QStringList{"\\S|t|1|ab", "\\S||1|default", "\\S|E|2|%"}
        << 0;
    QTest::newRow("deletions") << QByteArray("Windows Registry Editor Version 5.00\r\n\r\n"
                                             "[-HKEY_CURRENT_USER\\SOFTWARE\\ZANDRIX\\Dorvan\\Old]\r\n"
                                             "\"ignored\"=\"x\"\r\n"
                                             "[HKEY_CURRENT_USER\\SOFTWARE\\ZANDRIX\\Dorvan\\Keep]\r\n"
                                             "\"gone\"=-\r\n"
                                             "\"never there\"=-\r\n"
                                             "[-HKEY_CURRENT_USER\\SOFTWARE\\ZANDRIX\\Dorvan\\Never]\r\n")
                               << QStringList{"", "\\Keep|stays|1|1"} << 0;
    QTest::newRow("outside the base key")
        << QByteArray("Windows Registry Editor Version 5.00\r\n\r\n"
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZANDRIX\\Dorvan\\X]\r\n\"a\"=\"1\"\r\n"
                      "[HKEY_CURRENT_USER\\SOFTWARE\\Other]\r\n\"a\"=\"1\"\r\n\"b\"=\"2\"\r\n"
                      "[-HKEY_CURRENT_USER\\SOFTWARE]\r\n"
                      "[HKEY_CURRENT_USER\\SOFTWARE\\ZANDRIX\\DorvanX]\r\n")
        << QStringList{""} + keep + old << 4;
    QTest::newRow("REGEDIT4 in Latin-1")
        << QByteArray(
               "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\ZANDRIX\\Dorvan\\S]\r\n\"x\"=\"M\xfcller\"\r\n")
        << QStringList{""} + keep + old + QStringList{QString::fromUtf8("\\S|x|1|Müller")} << 0;
}

void TestRegFile::ImportLikeTheRegistryEditor() {
    QFETCH(QByteArray, file);
    QFETCH(QStringList, expected);
    QFETCH(int, warnings);
    m_ini->WriteString(QStringLiteral("Old\\Sub"), QStringLiteral("x"), QStringLiteral("1"));
    m_ini->WriteString(QStringLiteral("Keep"), QStringLiteral("stays"), QStringLiteral("1"));
    m_ini->WriteString(QStringLiteral("Keep"), QStringLiteral("gone"), QStringLiteral("1"));
    QCOMPARE(RegFile::Import(m_ini->Store(), file).size(), warnings);

    QStringList actual;
    for (const QString& entry : Dump(*m_ini)) {
        QStringList parts = entry.split(u'|');
        if (parts.size() == 4 && (parts.at(2) == u'1' || parts.at(2) == u'2'))
            parts[3] = RegStringText(QByteArray::fromHex(parts.at(3).toLatin1()));
        actual.append(parts.join(u'|'));
    }
    QCOMPARE(actual, expected);
}

void TestRegFile::ImportedDwordIsInvalidType() {
    RegFile::Import(m_ini->Store(), Head + Base + "\\Frame.db]\r\n\"PnlLeftTop\"=dword:000000c8\r\n");
    for (int reader = 0; reader < 2; ++reader) {
        try {
            if (reader == 0)
                m_ini->ReadString(QStringLiteral("Frame.db"), QStringLiteral("PnlLeftTop"), QString());
            else
                m_ini->ReadInteger(QStringLiteral("Frame.db"), QStringLiteral("PnlLeftTop"), 0);
            QFAIL("a dword read as text");
        } catch (const TError& e) {
            QCOMPARE(e.Message(), QStringLiteral("Ungültiger Datentyp für 'PnlLeftTop'"));
        }
    }
}

void TestRegFile::ImportKeepsOrderAndMerges() {
    m_ini->WriteString(QStringLiteral("L"), QStringLiteral("5"), QStringLiteral("old five"));
    m_ini->WriteString(QStringLiteral("L"), QStringLiteral("other"), QStringLiteral("kept"));
    QByteArray file = Head + Base + "\\L]\r\n";
    for (int i = 0; i < 12; ++i)
        file += QStringLiteral("\"%1\"=\"v%1\"\r\n").arg(i).toUtf8();
    RegFile::Import(m_ini->Store(), file);
    QStringList names;
    m_ini->ReadSection(QStringLiteral("L"), names);
    // "5" was there first and keeps its place; the rest follow in the file's order.
    QCOMPARE(names, (QStringList{"5", "other", "0", "1", "2", "3", "4", "6", "7", "8", "9", "10", "11"}));
    QCOMPARE(m_ini->ReadString(QStringLiteral("L"), QStringLiteral("5"), QString()), QStringLiteral("v5"));
    QCOMPARE(m_ini->ReadString(QStringLiteral("L"), QStringLiteral("other"), QString()),
             QStringLiteral("kept"));
}

void TestRegFile::SyntaxErrorChangesNothing_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("message");
    const QString prefix = QStringLiteral("Fehler in Zeile %1 der Registrierungsdatei: ");
    QTest::newRow("unterminated string")
        << QByteArray("\"a\"=\"x\r\n")
        << prefix.arg(5) + QString::fromUtf8("das schließende Anführungszeichen fehlt");
    QTest::newRow("bad dword") << QByteArray("\"a\"=dword:123456789\r\n")
                               << prefix.arg(5) + QString::fromUtf8("ungültiger dword-Wert „123456789“");
    QTest::newRow("bad hex") << QByteArray("\"a\"=hex:01,zz\r\n")
                             << prefix.arg(5) + QString::fromUtf8("ungültiges Byte „zz“");
    QTest::newRow("unknown format") << QByteArray("\"a\"=42\r\n")
                                    << prefix.arg(5) + QString::fromUtf8("unbekanntes Werteformat „42“");
    QTest::newRow("no name") << QByteArray("a=\"1\"\r\n")
                             << prefix.arg(5) + QString::fromUtf8(
                                                    "ein Wertname in Anführungszeichen oder @ wird erwartet");
    const QString cutOff = prefix.arg(5) + QString::fromUtf8("der mit „\\“ fortgesetzte Wert bricht ab");
    QTest::newRow("cut off after a continuation") << QByteArray("\"a\"=hex:01,02,\\") << cutOff;
    QTest::newRow("cut off after a continuation and its line end")
        << QByteArray("\"a\"=hex:01,02,\\\r\n") << cutOff;
    QTest::newRow("continuation followed by a blank line")
        << QByteArray("\"a\"=hex:01,02,\\\r\n\r\n\"b\"=\"2\"\r\n") << cutOff;
    QTest::newRow("key without bracket")
        << QByteArray("[HKEY_CURRENT_USER\\X\r\n")
        << prefix.arg(5) + QString::fromUtf8("„]“ fehlt am Ende der Schlüsselzeile");
}

void TestRegFile::SyntaxErrorChangesNothing() {
    QFETCH(QByteArray, body);
    QFETCH(QString, message);
    m_ini->WriteString(QStringLiteral("S"), QStringLiteral("a"), QStringLiteral("old"));
    const QByteArray before = RegFile::Export(m_ini->Store());
    const QByteArray file = Head + Base + "\\S]\r\n\"a\"=\"new\"\r\n" + body;
    try {
        RegFile::Import(m_ini->Store(), file);
        QFAIL("imported a broken file");
    } catch (const TError& e) {
        QCOMPARE(e.Message(), message);
    }
    QCOMPARE(RegFile::Export(m_ini->Store()), before);
    try {
        RegFile::Import(m_ini->Store(), "[HKEY_CURRENT_USER\\x]\r\n");
        QFAIL("imported a file without header");
    } catch (const TError& e) {
        QVERIFY(e.Message().startsWith(QStringLiteral("Die Datei ist keine Registrierungsdatei")));
    }
}

QProcess* TestRegFile::Tool(const QStringList& args) {
    auto* process = new QProcess(this);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TABULO_SETTINGS"), StoreFile());
    process->setProcessEnvironment(env);
    process->start(QStringLiteral(TABULO_REG), args);
    return process;
}

void TestRegFile::ToolUsesStdinAndStdout() {
    QProcess* import = Tool({QStringLiteral("import"), QStringLiteral("-")});
    import->write(
        Head + Base +
        "\\TFrameDBLst.TreeDB]\r\n\"0\"=\"Beispiel=Provider=SQLite;Data Source=/tmp/\\\"b\\\\c\"\r\n");
    import->closeWriteChannel();
    QVERIFY(import->waitForFinished(30000));
    QCOMPARE(import->exitCode(), 0);
    QCOMPARE(m_ini->ReadString(QStringLiteral("TFrameDBLst.TreeDB"), QStringLiteral("0"), QString()),
             QStringLiteral("Beispiel=Provider=SQLite;Data Source=/tmp/\"b\\c"));

    QProcess* exportTool = Tool({QStringLiteral("export"), QStringLiteral("-")});
    QVERIFY(exportTool->waitForFinished(30000));
    QCOMPARE(exportTool->exitCode(), 0);
    QCOMPARE(exportTool->readAllStandardOutput(), RegFile::Export(m_ini->Store()));

    const QString file = m_dir->filePath(QStringLiteral("out.reg"));
    QProcess* toFile = Tool({QStringLiteral("export"), QStringLiteral("--utf16"), file});
    QVERIFY(toFile->waitForFinished(30000));
    QCOMPARE(toFile->exitCode(), 0);
    QFile written(file);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), RegFile::Export(m_ini->Store(), true));
}

void TestRegFile::ToolReportsErrors() {
    struct Case {
        QStringList args;
        QByteArray input;
        int exitCode;
        QString stderrStart;
    };
    const QList<Case> cases = {
        {{QStringLiteral("import"), QStringLiteral("-")},
         "kaputt",
         1,
         QStringLiteral("tabulo-reg: Die Datei ist keine Registrierungsdatei")},
        {{QStringLiteral("import"), m_dir->filePath(QStringLiteral("missing.reg"))},
         {},
         1,
         QStringLiteral("tabulo-reg: Die Datei '%1' kann nicht gelesen werden")
             .arg(m_dir->filePath(QStringLiteral("missing.reg")))},
        {{QStringLiteral("export"), m_dir->filePath(QStringLiteral("no/such/dir/x.reg"))},
         {},
         1,
         QStringLiteral("tabulo-reg: Die Datei '%1' kann nicht geschrieben werden")
             .arg(m_dir->filePath(QStringLiteral("no/such/dir/x.reg")))},
        {{QStringLiteral("import"), QStringLiteral("-")},
         Head + "[HKEY_LOCAL_MACHINE\\X]\r\n\"a\"=\"b\"\r\n",
         0,
         QString::fromUtf8(
             "tabulo-reg: Warnung: Schlüssel außerhalb von HKEY_CURRENT_USER\\SOFTWARE\\ZANDRIX\\Dorvan "
             "übergangen: [HKEY_LOCAL_MACHINE\\X]")},
        {{QStringLiteral("copy")}, {}, 2, QStringLiteral("Aufruf: tabulo-reg")},
    };
    for (const Case& c : cases) {
        QProcess* tool = Tool(c.args);
        tool->write(c.input);
        tool->closeWriteChannel();
        QVERIFY(tool->waitForFinished(30000));
        const QString err = QString::fromUtf8(tool->readAllStandardError());
        QVERIFY2(err.startsWith(c.stderrStart), qPrintable(err));
        QCOMPARE(tool->exitCode(), c.exitCode);
    }
}

// The export holds the passwords of the connection strings: the file is the user's alone,
// whatever the umask and whatever mode a file it replaces had. A store holding a name the
// file cannot carry still exports the rest, says what is missing and fails.
void TestRegFile::ToolExportIsPrivate() {
    m_ini->WriteString(QStringLiteral("TFrameDBLst.TreeDB"), QStringLiteral("0"),
                       QStringLiteral("a=Provider=PostgreSQL;Password=geheim"));
    const QString file = m_dir->filePath(QStringLiteral("backup.reg"));
    const mode_t previous = ::umask(022);
    for (bool existing : {false, true}) {
        if (existing)
            QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                                    QFile::ReadOther));
        QProcess* tool = Tool({QStringLiteral("export"), file});
        QVERIFY(tool->waitForFinished(30000));
        QCOMPARE(tool->exitCode(), 0);
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(file).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, mode_t(0600));
    }
    ::umask(previous);

    m_ini->WriteString(QStringLiteral("Frame.zwei\nZeilen"), QStringLiteral("PnlLeft"), QStringLiteral("4"));
    QProcess* tool = Tool({QStringLiteral("export"), file});
    QVERIFY(tool->waitForFinished(30000));
    QCOMPARE(tool->exitCode(), 1);
    QVERIFY(QString::fromUtf8(tool->readAllStandardError())
                .startsWith(QString::fromUtf8("tabulo-reg: Warnung: Schlüssel [HKEY_CURRENT_USER")));
    QFile written(file);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QVERIFY(written.readAll().contains("geheim"));
}

void TestRegFile::ConcurrentProcessesLoseNothing() {
    QList<QProcess*> tools;
    for (int p = 0; p < 3; ++p) {
        QByteArray file = Head;
        for (int i = 0; i < 40; ++i) {
            file += Base + QStringLiteral("\\Shared]\r\n\"p%1-%2\"=\"%2\"\r\n").arg(p).arg(i).toUtf8();
            file += Base + QStringLiteral("\\Own%1\\K%2]\r\n\"x\"=\"1\"\r\n").arg(p).arg(i).toUtf8();
        }
        tools.append(Tool({QStringLiteral("import"), QStringLiteral("-")}));
        tools.last()->write(file);
        tools.last()->closeWriteChannel();
    }
    for (int i = 0; i < 100; ++i)
        m_ini->WriteInteger(QStringLiteral("Shared"), QStringLiteral("me-%1").arg(i), i);
    for (QProcess* tool : tools) {
        QVERIFY(tool->waitForFinished(60000));
        QCOMPARE(tool->exitCode(), 0);
    }
    QStringList names;
    m_ini->ReadSection(QStringLiteral("Shared"), names);
    QCOMPARE(names.size(), 3 * 40 + 100);
    for (int p = 0; p < 3; ++p)
        QCOMPARE(
            m_ini->Store()
                .SubKeys(*m_ini->Store().FindKey(TIniFileEx::SectionPath(QStringLiteral("Own%1").arg(p))))
                .size(),
            40);
}

QTEST_GUILESS_MAIN(TestRegFile)
#include "tst_regfile.moc"
