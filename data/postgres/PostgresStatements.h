#pragma once

#include <QList>
#include <QString>

// Cuts a PostgreSQL text into its statements the way the server's own client does: at ";"
// outside quotes ('…', E'…', "…", $tag$…$tag$), comments, parentheses and the BEGIN … END
// body of a CREATE FUNCTION/PROCEDURE. Parameter markers "$n" are renumbered per statement,
// so that each statement can be sent with its own values. Pure, any thread.
struct TPgStatement {
    QString Sql;
    // For each marker "$k" of Sql (k from 1): the number n of "$n" in the whole text.
    QList<int> Parameters;
};

QList<TPgStatement> SplitPgStatements(const QString& sql);
