#include "data/CQry.h"

#include "data/Connection.h"
#include "data/Query.h"
#include "settings/Error.h"
#include "settings/Tools.h"

namespace {

QString ArgumentText(const QVariant& value) {
    return value.isNull() ? QString() : value.toString();
}

const QString kIdNew = QStringLiteral("{IdNew}");

} // namespace

TQuery* TQry::PrepareQuery(const QString& sql, const QVariantList& args, const QStringList& names,
                           bool noOpen, TQuery* query) {
    std::unique_ptr<TQuery> created;
    if (!query) {
        created = std::make_unique<TQuery>();
        query = created.get();
    }
    if (query->Active())
        query->Close();
    AttachDefaultConnection(*query);
    query->SetSql(ExpandSql(sql, args, names));
    BindArguments(*query, args, names, noOpen);
    created.release();
    return query;
}

std::unique_ptr<TQuery> TQry::OpenQuery(const QString& sql, bool noOpen) {
    return std::unique_ptr<TQuery>(PrepareQuery(sql, {}, {}, noOpen, nullptr));
}

void TQry::AttachDefaultConnection(TQuery& query) {
    query.SetConnection(DefaultConnection);
    query.SetCommandTimeout(DefaultConnection ? DefaultConnection->CommandTimeout() : 0);
}

QString TQry::ExpandSql(const QString& sql, const QVariantList& args, const QStringList& names) {
    QString result = sql;
    for (const QString& placeholder : TTools::ExtractPlaceholders(sql))
        ReplacePlaceholder(result, placeholder, args, names);
    while (result.contains(kIdNew, Qt::CaseSensitive)) {
        const qsizetype at = result.indexOf(kIdNew, 0, Qt::CaseInsensitive);
        result.replace(at, kIdNew.size(), GuidText(NewGuid()));
    }
    return result;
}

void TQry::ReplacePlaceholder(QString& text, const QString& placeholder, const QVariantList& args,
                              const QStringList& names) {
    const int i = TTools::IndexOfText(placeholder, names);
    if (i < 0 || i >= args.size())
        return;
    text.replace(u'{' + placeholder + u'}', ArgumentText(args[i]), Qt::CaseInsensitive);
}

void TQry::BindArguments(TQuery& query, const QVariantList& args, const QStringList& names, bool noOpen) {
    TParameters& parameters = query.Parameters();
    if (names.isEmpty()) {
        for (int i = 0; i < args.size() && i < parameters.Count(); ++i)
            parameters[i].Value = args[i];
    } else {
        if (names.size() != args.size())
            throw TError(
                QStringLiteral("Interne Fehler in Abfrage \r\n") + query.SqlText() +
                QStringLiteral("\r\n\r\n") +
                QStringLiteral("Anzahl Argumenten (%1) stimmt mit dem Anzahl der Argumentennamen (%2) nicht "
                               "überein")
                    .arg(args.size())
                    .arg(names.size()));
        for (int k = 0; k < parameters.Count(); ++k) {
            const int i = TTools::IndexOfText(parameters[k].Name, names);
            if (i < 0)
                throw TError(QStringLiteral("Interne Fehler in Abfrage \r\n") + query.SqlText() +
                             QStringLiteral("\r\n\r\n") + QStringLiteral("Parameter ") + parameters[k].Name +
                             QStringLiteral(" ist nicht in der Liste"));
            parameters[k].Value = args[i];
        }
    }
    if (noOpen)
        return;
    try {
        query.Open();
    } catch (const TError& e) {
        throw TError(QStringLiteral("Interne Fehler bei SQL-Abfrage\r\n") + query.SqlText() +
                     QStringLiteral("\r\n\r\n") + e.Message());
    }
}

QUuid TQry::NewGuid() {
    return QUuid::createUuid();
}

QString TQry::GuidText(const QUuid& guid) {
    return guid.toString(QUuid::WithBraces).toUpper();
}
