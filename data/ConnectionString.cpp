#include "data/ConnectionString.h"

#include "settings/Tools.h"

namespace {

// Reads one "key=value" entry starting at pos; returns the position after its ";".
qsizetype ReadEntry(const QString& text, qsizetype pos, QString& key, QString& value) {
    const qsizetype n = text.size();
    qsizetype eq = pos;
    while (eq < n && text[eq] != u'=' && text[eq] != u';')
        ++eq;
    key = text.mid(pos, eq - pos).trimmed();
    value.clear();
    if (eq >= n || text[eq] == u';')
        return eq + 1;
    qsizetype p = eq + 1;
    while (p < n && text[p] == u' ')
        ++p;
    if (p < n && (text[p] == u'\'' || text[p] == u'"')) {
        const QChar quote = text[p++];
        while (p < n) {
            if (text[p] == quote) {
                if (p + 1 < n && text[p + 1] == quote) {
                    value += quote;
                    p += 2;
                    continue;
                }
                ++p;
                break;
            }
            value += text[p++];
        }
        while (p < n && text[p] != u';') // text after the closing quote is ignored
            ++p;
        return p + 1;
    }
    qsizetype end = p;
    while (end < n && text[end] != u';')
        ++end;
    value = text.mid(p, end - p).trimmed();
    return end + 1;
}

} // namespace

TConnectionString::TConnectionString(const QString& text) {
    qsizetype pos = 0;
    while (pos < text.size()) {
        QString key, value;
        pos = ReadEntry(text, pos, key, value);
        if (!key.isEmpty())
            SetValue(key, value);
    }
}

QString TConnectionString::ProviderOf(const QString& text) {
    QString provider;
    for (const TSplitEntry& entry : TTools::Split(text, QStringLiteral(";"), false)) {
        const qsizetype eq = entry.Text.indexOf(u'=');
        if (eq > 0 &&
            entry.Text.left(eq).trimmed().compare(QLatin1String("Provider"), Qt::CaseInsensitive) == 0)
            provider = entry.Text.mid(eq + 1).trimmed();
    }
    return provider;
}

bool TConnectionString::Contains(const QString& key) const {
    for (const TEntry& e : m_entries)
        if (e.Key.compare(key, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString TConnectionString::Value(const QString& key, const QString& defaultValue) const {
    for (const TEntry& e : m_entries)
        if (e.Key.compare(key, Qt::CaseInsensitive) == 0)
            return e.Value;
    return defaultValue;
}

void TConnectionString::SetValue(const QString& key, const QString& value) {
    for (TEntry& e : m_entries)
        if (e.Key.compare(key, Qt::CaseInsensitive) == 0) {
            e.Value = value;
            return;
        }
    m_entries.push_back({key, value});
}

void TConnectionString::Remove(const QString& key) {
    m_entries.removeIf([&](const TEntry& e) { return e.Key.compare(key, Qt::CaseInsensitive) == 0; });
}

QString TConnectionString::QuoteValue(const QString& value) {
    const bool needs =
        value.contains(u';') || value.contains(u'\'') || value.contains(u'"') || value != value.trimmed();
    if (!needs)
        return value;
    const QChar quote = value.contains(u'"') && !value.contains(u'\'') ? u'\'' : u'"';
    QString doubled = value;
    doubled.replace(quote, QString(2, quote));
    return quote + doubled + quote;
}

QString TConnectionString::ToString() const {
    QStringList parts;
    for (const TEntry& e : m_entries)
        parts << e.Key + u'=' + QuoteValue(e.Value);
    return parts.join(u';');
}

void TConnectionString::SplitHostPort(const QString& source, QString& host, QString& port) {
    host = source.trimmed();
    port.clear();
    const qsizetype colon = host.lastIndexOf(u':');
    const bool ipv6 = host.startsWith(u'[');
    // ":5433" is the local socket on another port.
    if (colon >= 0 && (colon == host.indexOf(u':') || ipv6) && (!ipv6 || host.lastIndexOf(u']') < colon)) {
        port = host.mid(colon + 1);
        host = host.left(colon);
    }
    if (ipv6 && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
}

QString TConnectionString::JoinHostPort(const QString& host, const QString& port) {
    if (port.isEmpty())
        return host;
    return (host.contains(u':') ? u'[' + host + u']' : host) + u':' + port;
}
