#include "settings/IniFileEx.h"

#include "settings/RegistryStore.h"

#include <QStandardPaths>
#include <QtDebug>

namespace {

TIniFileEx* g_settingsStore = nullptr;

QString KeyCreateFailed(const QString& section) {
    return QStringLiteral("Erzeugung von Schlüssel %1 misslungen").arg(section);
}

QString SetFailed(const QString& ident) {
    return QStringLiteral("Fehler beim Setzen der Daten für '%1'").arg(ident);
}

QString GetFailed(const QString& ident) {
    return QStringLiteral("Fehler beim Holen der Daten für '%1'").arg(ident);
}

QString InvalidType(const QString& ident) {
    return QStringLiteral("Ungültiger Datentyp für '%1'").arg(ident);
}

// The user sees the operation's own message; the store's reason goes to the log.
[[noreturn]] void Rethrow(const TStoreError& e, const QString& message) {
    qWarning("Settings store: %s", qUtf8Printable(e.Message()));
    throw TError(message);
}

// Only string values are read as text: an integer planted by another program is an error,
// not a default.
QString StringOf(const TRegValue& value, const QString& ident) {
    if (value.Type != RegSz && value.Type != RegExpandSz)
        throw TError(InvalidType(ident));
    return RegStringText(value.Data);
}

} // namespace

QString TIniFileEx::BaseKey() {
    return QStringLiteral("SOFTWARE\\ZANDRIX\\Dorvan");
}

QString TIniFileEx::DefaultSettingsFile() {
    const QString file = qEnvironmentVariable("TABULO_SETTINGS");
    if (!file.isEmpty())
        return file;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Tabulo/settings.sqlite");
}

TIniFileEx::TIniFileEx(const QString& file)
    : m_store(std::make_unique<TRegistryStore>(file)) {
    try {
        TRegistryStore::Transaction tx(*m_store, true);
        m_store->CreateKey(SectionPath(QString()));
        tx.Commit();
    } catch (const TStoreError& e) {
        Rethrow(e, KeyCreateFailed(BaseKey()));
    }
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
        Rethrow(e, GetFailed(ident));
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
        Rethrow(e, GetFailed(ident));
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
        Rethrow(e, SetFailed(ident));
    }
}

void TIniFileEx::WriteString(const QString& section, const QString& ident, const QString& value) {
    try {
        TRegistryStore::Transaction tx(*m_store, true);
        WriteStringValue(section, ident, value);
        tx.Commit();
    } catch (const TStoreError& e) {
        Rethrow(e, SetFailed(ident));
    }
}

int TIniFileEx::ReadInteger(const QString& section, const QString& ident, int defaultValue) {
    std::optional<QString> text;
    try {
        TRegistryStore::Transaction tx(*m_store, false);
        text = ReadStringValue(section, ident);
    } catch (const TStoreError& e) {
        Rethrow(e, GetFailed(ident));
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
        Rethrow(e, QStringLiteral("Fehler beim Lesen von Schlüssel %1").arg(section));
    }
}

void TIniFileEx::RemoveSectionKey(const QString& section) {
    try {
        const std::optional<qint64> key = m_store->FindKey(SectionPath(section));
        if (key && *key != 0)
            m_store->DeleteKey(*key);
    } catch (const TStoreError& e) {
        Rethrow(e, QStringLiteral("Löschen von Schlüssel %1 misslungen").arg(section));
    }
}

void TIniFileEx::RemoveSection(const QString& section) {
    try {
        TRegistryStore::Transaction tx(*m_store, true);
        RemoveSectionKey(section);
        tx.Commit();
    } catch (const TStoreError& e) {
        Rethrow(e, QStringLiteral("Löschen von Schlüssel %1 misslungen").arg(section));
    }
}

bool TIniFileEx::SectionExists(const QString& section) {
    try {
        TRegistryStore::Transaction tx(*m_store, false);
        return m_store->FindKey(SectionPath(section)).has_value();
    } catch (const TStoreError& e) {
        Rethrow(e, QStringLiteral("Fehler beim Lesen von Schlüssel %1").arg(section));
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
        qWarning("Settings store: comma list %s\\%s not written: %s", qUtf8Printable(section),
                 qUtf8Printable(ident), e.what());
    }
}

void TIniFileEx::ReadValueList(const QString& section, QStringList& list) {
    list.clear();
    try {
        TRegistryStore::Transaction tx(*m_store, false);
        if (const std::optional<qint64> key = m_store->FindKey(SectionPath(section)))
            for (const TRegValue& value : m_store->Values(*key))
                list.append(StringOf(value, value.Name));
    } catch (const TStoreError& e) {
        Rethrow(e, QStringLiteral("Fehler beim Lesen von Schlüssel %1").arg(section));
    }
}

void TIniFileEx::WriteValueList(const QString& section, const QStringList& list) {
    QString ident = section;
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
        Rethrow(e, SetFailed(ident));
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
    try {
        // Read and write under one lock, so another program's record is never half merged.
        TRegistryStore::Transaction tx(*m_store, true);
        QStringList stored;
        try {
            stored = ReadCommaList(name, window.ClassName);
        } catch (const TError& e) {
            // A record that cannot be read is replaced: saving the placement never fails.
            qWarning("Settings store: placement %s\\%s replaced: %s", qUtf8Printable(name),
                     qUtf8Printable(window.ClassName), e.what());
        }
        WriteCommaList(name, window.ClassName, MergePlacementRecord(stored, window));
        tx.Commit();
    } catch (const std::exception& e) {
        qWarning("Settings store: placement %s\\%s not written: %s", qUtf8Printable(name),
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
