#pragma once

#include <QList>
#include <QString>

// The keys and values of a connection string, "Key=Value;Key2='a;b'". Keys compare without
// regard to case; a value may stand in single or double quotes (doubled inside); the last
// occurrence of a key wins. Providers read their keys here.
class TConnectionString {
public:
    struct TEntry {
        QString Key;
        QString Value;
    };

    TConnectionString() = default;
    explicit TConnectionString(const QString& text);

    // The provider name as the catalogue stores it: the value of the "Provider" key.
    static QString ProviderOf(const QString& text);

    bool Contains(const QString& key) const;
    QString Value(const QString& key, const QString& defaultValue = {}) const;
    void SetValue(const QString& key, const QString& value);
    void Remove(const QString& key);
    const QList<TEntry>& Entries() const { return m_entries; }

    // The string again, values quoted where they need it.
    QString ToString() const;
    static QString QuoteValue(const QString& value);

    // A server's "host[:port]" ("[::1]:5433" for IPv6 addresses; a socket folder has no port)
    // and back; the port is empty when the text names none.
    static void SplitHostPort(const QString& source, QString& host, QString& port);
    static QString JoinHostPort(const QString& host, const QString& port);

private:
    QList<TEntry> m_entries;
};
