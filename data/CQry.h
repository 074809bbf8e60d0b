#pragma once

#include <QPointer>
#include <QStringList>
#include <QUuid>
#include <QVariantList>
#include <memory>

class TConnection;
class TQuery;

// Ready queries in one call: placeholders "{name}" and "{IdNew}" expanded, arguments bound
// to the ":name" parameters by position or by name, opened unless asked not to. Its own
// failures carry the statement in the message. GUI thread; class-level only.
class TQry {
public:
    TQry() = delete;

    // The connection every prepared query is attached to; callers set it right before a call.
    static inline QPointer<TConnection> DefaultConnection;

    // The given query, or a new one the caller owns. A query created here is released when a
    // later step fails.
    static TQuery* PrepareQuery(const QString& sql, const QVariantList& args, const QStringList& names,
                                bool noOpen, TQuery* query);
    static std::unique_ptr<TQuery> OpenQuery(const QString& sql, bool noOpen);
    static void AttachDefaultConnection(TQuery& query);
    static QString ExpandSql(const QString& sql, const QVariantList& args, const QStringList& names);
    static void ReplacePlaceholder(QString& text, const QString& placeholder, const QVariantList& args,
                                   const QStringList& names);
    static void BindArguments(TQuery& query, const QVariantList& args, const QStringList& names, bool noOpen);
    static QUuid NewGuid();
    // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
    static QString GuidText(const QUuid& guid);
};
