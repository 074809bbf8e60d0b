#include "settings/RegFile.h"

#include "settings/IniFileEx.h"
#include "settings/RegistryStore.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <QtEndian>

namespace {

const QString Header = QStringLiteral("Windows Registry Editor Version 5.00");
const QString Root = QStringLiteral("HKEY_CURRENT_USER");
const QString Crlf = QStringLiteral("\r\n");
constexpr qsizetype MaxLine = 80;

// ----- export -----

QString Quoted(const QString& text) {
    QString out = QStringLiteral("\"");
    for (QChar c : text) {
        if (c == u'\\' || c == u'"')
            out += u'\\';
        out += c;
    }
    return out + u'"';
}

// A REG_SZ that the quoted form gives back byte for byte: one terminating NUL and no other,
// no line breaks (the editor cannot read them inside quotes), well-formed UTF-16.
bool PlainString(const QByteArray& data) {
    if (data.size() < 2 || data.size() % 2 != 0)
        return false;
    const QString text = RegStringText(data);
    if ((text.size() + 1) * 2 != data.size())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' || c == u'\n')
            return false;
        if (c.isHighSurrogate() && (i + 1 == text.size() || !text.at(i + 1).isLowSurrogate()))
            return false;
        if (c.isLowSurrogate() && (i == 0 || !text.at(i - 1).isHighSurrogate()))
            return false;
    }
    return true;
}

// "hex:01,02,..." wrapped like the registry editor: lines of at most 80 characters, each
// continued with a backslash and the next indented by two blanks.
QString HexLine(const QString& head, const QByteArray& data) {
    QString out = head;
    qsizetype lineLength = head.size();
    for (qsizetype i = 0; i < data.size(); ++i) {
        QString piece = QStringLiteral("%1").arg(quint8(data.at(i)), 2, 16, QLatin1Char('0'));
        if (i + 1 < data.size())
            piece += u',';
        if (lineLength + piece.size() + 1 > MaxLine) {
            out += QStringLiteral("\\") + Crlf + QStringLiteral("  ");
            lineLength = 2;
        }
        out += piece;
        lineLength += piece.size();
    }
    return out;
}

QString ValueLine(const TRegValue& value) {
    const QString head = (value.Name.isEmpty() ? QStringLiteral("@") : Quoted(value.Name)) + u'=';
    if (value.Type == RegSz && PlainString(value.Data))
        return head + Quoted(RegStringText(value.Data));
    if (value.Type == RegDword && value.Data.size() == 4)
        return head + QStringLiteral("dword:%1")
                          .arg(qFromLittleEndian<quint32>(value.Data.constData()), 8, 16, QLatin1Char('0'));
    if (value.Type == RegBinary)
        return HexLine(head + QStringLiteral("hex:"), value.Data);
    return HexLine(head + QStringLiteral("hex(%1):").arg(value.Type, 0, 16), value.Data);
}

// A name the file can carry so that import reads back the same: no line break (the format is
// line by line) and well-formed UTF-16 (the file is UTF-8 or UTF-16 text).
bool WritableName(const QString& name) {
    return PlainString(RegStringData(name));
}

void ExportKey(TRegistryStore& store, qint64 key, const QString& path, QString& out, QStringList& skipped) {
    out += u'[' + path + u']' + Crlf;
    for (const TRegValue& value : store.Values(key)) {
        if (WritableName(value.Name))
            out += ValueLine(value) + Crlf;
        else
            skipped.append(QStringLiteral("Wert „%1“ in [%2] übergangen: der Name enthält einen Zeilenumbruch "
                                          "oder ein ungültiges Zeichen")
                               .arg(value.Name, path));
    }
    out += Crlf;
    for (const TRegKey& sub : store.SubKeys(key)) {
        if (WritableName(sub.Name))
            ExportKey(store, sub.Id, path + u'\\' + sub.Name, out, skipped);
        else
            skipped.append(QStringLiteral("Schlüssel [%1\\%2] mit allem darunter übergangen: der Name enthält "
                                          "einen Zeilenumbruch oder ein ungültiges Zeichen")
                               .arg(path, sub.Name));
    }
}

// ----- import -----

[[noreturn]] void SyntaxError(int line, const QString& reason) {
    throw TError(QStringLiteral("Fehler in Zeile %1 der Registrierungsdatei: %2").arg(line).arg(reason));
}

QString Decode(const QByteArray& file) {
    QString text;
    if (file.startsWith("\xFF\xFE")) {
        text = QStringDecoder(QStringDecoder::Utf16LE).decode(file);
    } else if (file.startsWith("\xFE\xFF")) {
        text = QStringDecoder(QStringDecoder::Utf16BE).decode(file);
    } else {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        text = utf8.decode(file);
        if (utf8.hasError())
            text = QString::fromLatin1(file);
    }
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

struct TLogicalLine {
    int Number = 0;
    QString Text;
};

const QString CutOff = QStringLiteral("der mit „\\“ fortgesetzte Wert bricht ab");

// Physical lines joined where a hex list continues with a trailing backslash.
QList<TLogicalLine> LogicalLines(const QString& text) {
    QList<TLogicalLine> lines;
    const QStringList physical = text.split(u'\n');
    bool continued = false;
    for (int i = 0; i < physical.size(); ++i) {
        QString line = physical.at(i);
        if (line.endsWith(u'\r'))
            line.chop(1);
        line = line.trimmed();
        // A value cut off after its backslash would be stored short without a word.
        if (continued && line.isEmpty())
            SyntaxError(lines.last().Number, CutOff);
        if (continued)
            lines.last().Text += line;
        else
            lines.append({i + 1, line});
        continued = !line.startsWith(u'[') && !line.startsWith(u';') && line.endsWith(u'\\');
        if (continued)
            lines.last().Text.chop(1);
    }
    if (continued)
        SyntaxError(lines.last().Number, CutOff);
    return lines;
}

// A quoted text from pos (at the opening quote); pos ends after the closing quote.
QString ParseQuoted(const QString& line, qsizetype& pos, int number) {
    QString out;
    for (++pos; pos < line.size(); ++pos) {
        const QChar c = line.at(pos);
        if (c == u'"') {
            ++pos;
            return out;
        }
        if (c == u'\\' && pos + 1 < line.size() && (line.at(pos + 1) == u'\\' || line.at(pos + 1) == u'"'))
            ++pos;
        out += line.at(pos);
    }
    SyntaxError(number, QStringLiteral("das schließende Anführungszeichen fehlt"));
}

QByteArray ParseHexList(const QString& list, int number) {
    QByteArray data;
    const QStringList items = list.split(u',');
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QString item = items.at(i).trimmed();
        if (item.isEmpty() && (items.size() == 1 || i + 1 == items.size()))
            continue; // an empty list, or a trailing comma
        bool ok = false;
        const uint byte = item.toUInt(&ok, 16);
        if (!ok || item.size() > 2 || byte > 0xFF)
            SyntaxError(number, QStringLiteral("ungültiges Byte „%1“").arg(item));
        data.append(char(byte));
    }
    return data;
}

struct TParsedValue {
    QString Name;
    bool Delete = false;
    quint32 Type = RegSz;
    QByteArray Data;
};

TParsedValue ParseValue(const QString& line, int number) {
    TParsedValue value;
    qsizetype pos = 0;
    if (line.startsWith(u'@'))
        pos = 1;
    else if (line.startsWith(u'"'))
        value.Name = ParseQuoted(line, pos, number);
    else
        SyntaxError(number, QStringLiteral("ein Wertname in Anführungszeichen oder @ wird erwartet"));
    const QString rest = line.mid(pos).trimmed();
    if (!rest.startsWith(u'='))
        SyntaxError(number, QStringLiteral("„=“ fehlt nach dem Wertnamen"));
    const QString data = rest.mid(1).trimmed();

    if (data == u'-') {
        value.Delete = true;
    } else if (data.startsWith(u'"')) {
        qsizetype at = 0;
        value.Data = RegStringData(ParseQuoted(data, at, number));
        if (!data.mid(at).trimmed().isEmpty())
            SyntaxError(number, QStringLiteral("Zeichen nach dem schließenden Anführungszeichen"));
    } else if (data.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
        const QString digits = data.mid(6).trimmed();
        bool ok = false;
        const uint number32 = digits.toUInt(&ok, 16);
        if (!ok || digits.isEmpty() || digits.size() > 8 || digits.startsWith(u'+') ||
            digits.startsWith(u'-'))
            SyntaxError(number, QStringLiteral("ungültiger dword-Wert „%1“").arg(digits));
        value.Type = RegDword;
        value.Data.resize(4);
        qToLittleEndian<quint32>(number32, value.Data.data());
    } else if (data.startsWith(QLatin1String("hex"), Qt::CaseInsensitive)) {
        qsizetype colon = data.indexOf(u':');
        const QString kind = data.left(colon < 0 ? 0 : colon).mid(3).trimmed();
        value.Type = RegBinary;
        if (!kind.isEmpty()) {
            bool ok = kind.startsWith(u'(') && kind.endsWith(u')');
            const QString type = kind.mid(1, kind.size() - 2).trimmed();
            value.Type = ok ? type.toUInt(&ok, 16) : 0;
            if (!ok || type.isEmpty() || type.startsWith(u'+') || type.startsWith(u'-'))
                SyntaxError(number, QStringLiteral("ungültiger Datentyp „%1“").arg(kind));
        }
        if (colon < 0)
            SyntaxError(number, QStringLiteral("„:“ fehlt nach „hex“"));
        value.Data = ParseHexList(data.mid(colon + 1), number);
    } else {
        SyntaxError(number, QStringLiteral("unbekanntes Werteformat „%1“").arg(data));
    }
    return value;
}

bool StartsWithPath(const QStringList& path, const QStringList& prefix) {
    if (path.size() < prefix.size())
        return false;
    for (qsizetype i = 0; i < prefix.size(); ++i)
        if (TRegistryStore::FoldName(path.at(i)) != TRegistryStore::FoldName(prefix.at(i)))
            return false;
    return true;
}

} // namespace

namespace RegFile {

QByteArray Export(TRegistryStore& store, bool utf16, QStringList* skipped) {
    QString out = Header + Crlf + Crlf;
    QStringList skips;
    {
        TRegistryStore::Transaction tx(store, false);
        const QStringList base = TIniFileEx::SectionPath(QString());
        if (const std::optional<qint64> key = store.FindKey(base))
            ExportKey(store, *key, Root + u'\\' + TIniFileEx::BaseKey(), out, skips);
    }
    if (skipped)
        *skipped = skips;
    if (!utf16)
        return out.toUtf8();
    QStringEncoder encoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
    return encoder.encode(out);
}

QStringList Import(TRegistryStore& store, const QByteArray& file) {
    const QList<TLogicalLine> lines = LogicalLines(Decode(file));
    qsizetype first = 0;
    while (first < lines.size() && lines.at(first).Text.isEmpty())
        ++first;
    if (first == lines.size() ||
        (lines.at(first).Text != Header && lines.at(first).Text != QLatin1String("REGEDIT4")))
        throw TError(
            QStringLiteral("Die Datei ist keine Registrierungsdatei: die erste Zeile muss „%1“ lauten.")
                .arg(Header));

    if (store.ReadOnly())
        throw TError(
            QStringLiteral("Die Einstellungsdatei '%1' ist schreibgeschützt; es wurde nichts importiert.")
                .arg(store.FileName()));
    const QStringList base = TIniFileEx::SectionPath(QString());
    QStringList warnings;
    TRegistryStore::Transaction tx(store, true);
    enum class Target { None, Inside, Outside, Deleted } target = Target::None;
    qint64 key = 0;
    QString keyName;
    bool warned = false;
    for (qsizetype i = first + 1; i < lines.size(); ++i) {
        const TLogicalLine& line = lines.at(i);
        if (line.Text.isEmpty() || line.Text.startsWith(u';'))
            continue;
        if (line.Text.startsWith(u'[')) {
            if (!line.Text.endsWith(u']'))
                SyntaxError(line.Number, QStringLiteral("„]“ fehlt am Ende der Schlüsselzeile"));
            // Blanks inside the brackets belong to the key names ("Frame.abc " is not
            // "Frame.abc"); only those around the root's name are layout.
            QString path = line.Text.mid(1, line.Text.size() - 2);
            const bool remove = path.trimmed().startsWith(u'-');
            if (remove)
                path = path.trimmed().mid(1);
            keyName = path;
            warned = false;
            QStringList parts = TRegistryStore::SplitPath(path);
            const QString root = parts.isEmpty() ? QString() : parts.takeFirst().trimmed();
            const bool currentUser = root.compare(Root, Qt::CaseInsensitive) == 0 ||
                                     root.compare(QLatin1String("HKCU"), Qt::CaseInsensitive) == 0;
            if (!currentUser || !StartsWithPath(parts, base)) {
                target = Target::Outside;
                // The base key's own parents come with a whole-branch export and carry nothing.
                if (remove || !currentUser || !StartsWithPath(base, parts)) {
                    warnings.append(
                        QStringLiteral("Schlüssel außerhalb von %1\\%2 übergangen: [%3]")
                            .arg(Root, TIniFileEx::BaseKey(), line.Text.mid(1, line.Text.size() - 2)));
                    warned = true;
                }
            } else if (remove) {
                target = Target::Deleted;
                if (const std::optional<qint64> found = store.FindKey(parts))
                    store.DeleteKey(*found);
            } else {
                target = Target::Inside;
                key = store.CreateKey(parts);
            }
            continue;
        }
        const TParsedValue value = ParseValue(line.Text, line.Number);
        switch (target) {
        case Target::None:
            SyntaxError(line.Number, QStringLiteral("Wert vor der ersten Schlüsselzeile"));
        case Target::Outside:
            if (!warned)
                warnings.append(QStringLiteral("Schlüssel außerhalb von %1\\%2 übergangen: [%3]")
                                    .arg(Root, TIniFileEx::BaseKey(), keyName));
            warned = true;
            break;
        case Target::Deleted:
            break;
        case Target::Inside:
            if (value.Delete)
                store.DeleteValue(key, value.Name);
            else
                store.SetValue(key, value.Name, value.Type, value.Data);
            break;
        }
    }
    // Removing the base key removes everything below it, but the key itself stays.
    store.CreateKey(base);
    tx.Commit();
    return warnings;
}

} // namespace RegFile
