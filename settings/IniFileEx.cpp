#include "settings/IniFileEx.h"

#include "settings/RegistryStore.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtDebug>

namespace {

TIniFileEx* g_settingsStore = nullptr;

QString KeyCreateFailed(const QString& section) {
    return QStringLiteral("Erzeugung von Schlüssel %1 misslungen").arg(section);
}

// The value concerned: its ident, and its section unless that is the base key itself.
QString ValueName(const QString& section, const QString& ident) {
    if (ident.isEmpty())
        return QStringLiteral("'%1'").arg(section);
    if (section.isEmpty())
        return QStringLiteral("'%1'").arg(ident);
    return QStringLiteral("'%1' im Abschnitt „%2“").arg(ident, section);
}

QString SetFailed(const QString& section, const QString& ident) {
    return QStringLiteral("Fehler beim Setzen der Daten für %1").arg(ValueName(section, ident));
}

QString GetFailed(const QString& section, const QString& ident) {
    return QStringLiteral("Fehler beim Holen der Daten für %1").arg(ValueName(section, ident));
}

QString ReadKeyFailed(const QString& section) {
    return QStringLiteral("Fehler beim Lesen von Schlüssel %1").arg(section);
}

QString RemoveKeyFailed(const QString& section) {
    return QStringLiteral("Löschen von Schlüssel %1 misslungen").arg(section);
}

// The operation's message followed by the store's cause ("der Datenträger ist voll").
[[noreturn]] void Rethrow(const TStoreError& e, const QString& message) {
    throw TError(message + QStringLiteral(": ") + e.Message());
}

bool IsString(const TRegValue& value) {
    return value.Type == RegSz || value.Type == RegExpandSz;
}

// Only string values are read as text: an integer planted by another program is an error,
// not a default.
QString StringOf(const TRegValue& value, const QString& ident) {
    if (!IsString(value))
        throw TError(TIniFileEx::InvalidTypeText(ident));
    return RegStringText(value.Data);
}

} // namespace

QString TIniFileEx::InvalidTypeText(const QString& ident) {
    return QStringLiteral("Ungültiger Datentyp für '%1'").arg(ident);
}

QString TIniFileEx::BaseKey() {
    return QStringLiteral("SOFTWARE\\ZANDRIX\\Dorvan");
}

QString TIniFileEx::DefaultSettingsFile() {
    const QString file = qEnvironmentVariable("TABULO_SETTINGS");
    if (!file.isEmpty())
        return file;
    return XdgSettingsFile();
}

TIniFileEx::TIniFileEx(const QString& file)
    : m_store(std::make_unique<TRegistryStore>(file)) {
    // Our own folder holds nothing for other users' eyes, even when an earlier version made it.
    const QString folder = QFileInfo(file).absolutePath();
    if (folder == QFileInfo(XdgSettingsFile()).absolutePath())
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    try {
        // Only written when missing: a store that another program holds locked still opens.
        bool exists = false;
        {
            TRegistryStore::Transaction tx(*m_store, false);
            exists = m_store->FindKey(SectionPath(QString())).has_value();
        }
        if (!exists && !ReadOnly()) {
            TRegistryStore::Transaction tx(*m_store, true);
            m_store->CreateKey(SectionPath(QString()));
            tx.Commit();
        }
    } catch (const TStoreError& e) {
        Rethrow(e, KeyCreateFailed(BaseKey()));
    }
}

bool TIniFileEx::ReadOnly() const {
    return m_store->ReadOnly();
}

QString TIniFileEx::OpenToOthers() const {
    return m_store->OpenToOthers();
}

QString TIniFileEx::FileName() const {
    return m_store->FileName();
}

QString TIniFileEx::XdgSettingsFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Tabulo/settings.sqlite");
}

TIniFileEx::~TIniFileEx() = default;

QStringList TIniFileEx::SectionPath(const QString& section) {
    return TRegistryStore::SplitPath(BaseKey()) + TRegistryStore::SplitPath(section);
}

std::optional<QString> TIniFileEx::ReadStringValue(const QString& section, const QString& ident) {
    std::optional<TRegValue> value;
    try {
        if (const std::optional<qint64> key = m_store->FindKey(SectionPath(section)))
            value = m_store->Value(*key, ident);
    } catch (const TStoreError& e) {
        Rethrow(e, GetFailed(section, ident));
    }
    if (!value)
        return std::nullopt;
    return StringOf(*value, ident);
}

QString TIniFileEx::ReadString(const QString& section, const QString& ident, const QString& defaultValue) {
    try {
        TRegistryStore::Transaction tx(*m_store, false);
        return ReadStringValue(section, ident).value_or(defaultValue);
    } catch (const TStoreError& e) {
        Rethrow(e, GetFailed(section, ident));
    }
}

qint64 TIniFileEx::CreateSectionKey(const QString& section) {
    try {
        return m_store->CreateKey(SectionPath(section));
    } catch (const TStoreError& e) {
        Rethrow(e, KeyCreateFailed(section));
    }
}

void TIniFileEx::WriteStringValue(const QString& section, const QString& ident, const QString& value) {
    const qint64 key = CreateSectionKey(section);
    try {
        m_store->SetValue(key, ident, RegSz, RegStringData(value));
    } catch (const TStoreError& e) {
        Rethrow(e, SetFailed(section, ident));
    }
}

void TIniFileEx::WriteString(const QString& section, const QString& ident, const QString& value) {
    if (ReadOnly())
        return;
    try {
        TRegistryStore::Transaction tx(*m_store, true);
        WriteStringValue(section, ident, value);
        tx.Commit();
    } catch (const TStoreError& e) {
        Rethrow(e, SetFailed(section, ident));
    }
}

int TIniFileEx::ReadInteger(const QString& section, const QString& ident, int defaultValue) {
    std::optional<QString> text;
    try {
        TRegistryStore::Transaction tx(*m_store, false);
        text = ReadStringValue(section, ident);
    } catch (const TStoreError& e) {
        Rethrow(e, GetFailed(section, ident));
    }
    if (!text)
        return defaultValue;
    return ParseDecimalInt(*text).value_or(defaultValue);
}

void TIniFileEx::WriteInteger(const QString& section, const QString& ident, int value) {
    WriteString(section, ident, QString::number(value));
}

void TIniFileEx::ReadSection(const QString& section, QStringList& list) {
    try {
        TRegistryStore::Transaction tx(*m_store, false);
        if (const std::optional<qint64> key = m_store->FindKey(SectionPath(section)))
            list = m_store->ValueNames(*key);
    } catch (const TStoreError& e) {
        Rethrow(e, ReadKeyFailed(section));
    }
}

void TIniFileEx::RemoveSectionKey(const QString& section) {
    // No section names the base key itself, which holds every setting of the program.
    if (TRegistryStore::SplitPath(section).isEmpty())
        throw TError(RemoveKeyFailed(section) + QStringLiteral(": kein Abschnitt angegeben"));
    try {
        const std::optional<qint64> key = m_store->FindKey(SectionPath(section));
        if (key && *key != 0)
            m_store->DeleteKey(*key);
    } catch (const TStoreError& e) {
        Rethrow(e, RemoveKeyFailed(section));
    }
}

void TIniFileEx::RemoveSection(const QString& section) {
    if (ReadOnly())
        return;
    try {
        TRegistryStore::Transaction tx(*m_store, true);
        RemoveSectionKey(section);
        tx.Commit();
    } catch (const TStoreError& e) {
        Rethrow(e, RemoveKeyFailed(section));
    }
}

void TIniFileEx::MoveSectionValues(const QString& from, const QString& to) {
    if (ReadOnly())
        return;
    try {
        TRegistryStore::Transaction tx(*m_store, true);
        const std::optional<qint64> source = m_store->FindKey(SectionPath(from));
        if (!source || *source == 0 || SectionPath(from) == SectionPath(to))
            return;
        const QList<TRegValue> values = m_store->Values(*source);
        if (!values.isEmpty()) {
            const qint64 target = CreateSectionKey(to);
            for (const TRegValue& value : values)
                m_store->SetValue(target, value.Name, value.Type, value.Data);
        }
        for (const TRegValue& value : values)
            m_store->DeleteValue(*source, value.Name);
        if (m_store->SubKeys(*source).isEmpty())
            m_store->DeleteKey(*source);
        tx.Commit();
    } catch (const TStoreError& e) {
        Rethrow(e, KeyCreateFailed(to));
    }
}

void TIniFileEx::InTransaction(const std::function<void()>& work) {
    if (ReadOnly()) {
        work();
        return;
    }
    try {
        TRegistryStore::Transaction tx(*m_store, true);
        work();
        tx.Commit();
    } catch (const TStoreError& e) {
        Rethrow(e, QStringLiteral("Die Einstellungen können nicht gespeichert werden"));
    }
}

QString TIniFileEx::WorkspaceSection(const QString& databaseName) {
    return QStringLiteral("Frame.") + databaseName;
}

QString TIniFileEx::WorkspaceSqlSection(const QString& databaseName) {
    return WorkspaceSection(databaseName) + QStringLiteral(".SQL");
}

bool TIniFileEx::SectionExists(const QString& section) {
    try {
        TRegistryStore::Transaction tx(*m_store, false);
        return m_store->FindKey(SectionPath(section)).has_value();
    } catch (const TStoreError& e) {
        Rethrow(e, ReadKeyFailed(section));
    }
}

QStringList TIniFileEx::ReadCommaList(const QString& section, const QString& ident) {
    const QString text = ReadString(section, ident, QString());
    if (text.isEmpty())
        return {};
    // Items are neither trimmed nor unquoted: "a,,b" is three items, "a," two.
    return text.split(u',');
}

void TIniFileEx::WriteCommaList(const QString& section, const QString& ident, const QStringList& list) {
    try {
        WriteString(section, ident, list.join(u','));
    } catch (const std::exception& e) {
        qWarning("Einstellungen: Liste %s\\%s nicht gespeichert: %s", qUtf8Printable(section),
                 qUtf8Printable(ident), e.what());
    }
}

void TIniFileEx::ReadValueList(const QString& section, QStringList& list) {
    // All or nothing: the first value that is no string fails the whole list.
    const QStringList unreadable = ReadReadableValueList(section, list);
    if (!unreadable.isEmpty()) {
        list.clear();
        throw TError(InvalidTypeText(unreadable.first()));
    }
}

void TIniFileEx::WriteValueList(const QString& section, const QStringList& list) {
    if (ReadOnly())
        return;
    QString ident;
    try {
        TRegistryStore::Transaction tx(*m_store, true);
        RemoveSectionKey(section);
        if (!list.isEmpty()) {
            const qint64 key = CreateSectionKey(section);
            for (qsizetype i = 0; i < list.size(); ++i) {
                ident = QString::number(i);
                m_store->SetValue(key, ident, RegSz, RegStringData(list.at(i)));
            }
        }
        tx.Commit();
    } catch (const TStoreError& e) {
        Rethrow(e, SetFailed(section, ident));
    }
}

QStringList TIniFileEx::ReadReadableValueList(const QString& section, QStringList& list) {
    list.clear();
    QStringList unreadable;
    try {
        TRegistryStore::Transaction tx(*m_store, false);
        if (const std::optional<qint64> key = m_store->FindKey(SectionPath(section)))
            for (const TRegValue& value : m_store->Values(*key)) {
                if (IsString(value))
                    list.append(RegStringText(value.Data));
                else
                    unreadable.append(value.Name);
            }
    } catch (const TStoreError& e) {
        Rethrow(e, ReadKeyFailed(section));
    }
    return unreadable;
}

void TIniFileEx::WriteValueListKeepingOthers(const QString& section, const QStringList& list,
                                             const QString& aside) {
    if (ReadOnly())
        return;
    QString ident;
    try {
        TRegistryStore::Transaction tx(*m_store, true);
        if (const std::optional<qint64> key = m_store->FindKey(SectionPath(section))) {
            std::optional<qint64> asideKey;
            for (const TRegValue& value : m_store->Values(*key)) {
                if (IsString(value))
                    continue;
                ident = value.Name;
                if (!asideKey)
                    asideKey = CreateSectionKey(aside);
                QString name = value.Name;
                for (int n = 2; m_store->Value(*asideKey, name); ++n)
                    name = QStringLiteral("%1-%2").arg(value.Name).arg(n);
                m_store->SetValue(*asideKey, name, value.Type, value.Data);
            }
        }
        ident.clear();
        WriteValueList(section, list); // joins this transaction
        tx.Commit();
    } catch (const TStoreError& e) {
        Rethrow(e, SetFailed(section, ident));
    }
}

TWindowPlacement TIniFileEx::RestoreFormPlacement(const QString& section, const TWindowPlacement& window) {
    TWindowPlacement result = window;
    const QString name = section.isEmpty() ? window.ComponentName : section;
    ApplyPlacementRecord(ReadCommaList(name, window.ClassName), result);
    return result;
}

void TIniFileEx::SaveFormPlacement(const QString& section, const TWindowPlacement& window) {
    const QString name = section.isEmpty() ? window.ComponentName : section;
    if (ReadOnly())
        return;
    try {
        // Read and write under one lock, so another program's record is never half merged.
        TRegistryStore::Transaction tx(*m_store, true);
        QStringList stored;
        try {
            stored = ReadCommaList(name, window.ClassName);
        } catch (const TError& e) {
            // A record that cannot be read is replaced: saving the placement never fails.
            qWarning("Einstellungen: unlesbare Fensterposition %s\\%s ersetzt: %s", qUtf8Printable(name),
                     qUtf8Printable(window.ClassName), e.what());
        }
        WriteCommaList(name, window.ClassName, MergePlacementRecord(stored, window));
        tx.Commit();
    } catch (const std::exception& e) {
        qWarning("Einstellungen: Fensterposition %s\\%s nicht gespeichert: %s", qUtf8Printable(name),
                 qUtf8Printable(window.ClassName), e.what());
    }
}

std::optional<int> ParseDecimalInt(const QString& text) {
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text.at(i) == u'-' || text.at(i) == u'+')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > qint64(std::numeric_limits<int>::max()) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min())
        return std::nullopt;
    return int(value);
}

TIniFileEx* SettingsStore() {
    return g_settingsStore;
}

void SetSettingsStore(TIniFileEx* store) {
    g_settingsStore = store;
}
