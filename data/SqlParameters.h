#pragma once

#include "data/Provider.h"

#include <QList>
#include <QString>
#include <functional>

class TParameters;

// Finds the ":name" parameters of a statement text, leaving alone what only looks like one:
// "::" casts, colons in string literals, quoted names, comments and dollar-quoted bodies.
class TSqlParameters {
public:
    struct TOccurrence {
        qsizetype Start = 0;  // position of the colon
        qsizetype Length = 0; // colon and name
        QString Name;
    };

    static QList<TOccurrence> Find(const QString& sql);
    // Each name once (compared without regard to case), in order of first appearance.
    static QStringList Names(const QString& sql);
    // The text with every occurrence replaced by marker(n), n from 1, and its values.
    // Refuses a text holding a NUL character (TDataError): every driver interface ends a
    // statement there, so the part before it would run as if it were the whole.
    static void RequireNoNul(const QString& sql);
    static TStatement Bind(const QString& sql, const TParameters& parameters,
                           const std::function<QString(int)>& marker);
};
