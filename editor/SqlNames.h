#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

// A table or view of the open database as the names list offers it: its schema (empty where
// the database has none), its name, and how SQL must write it to find this very table.
struct TSqlTable {
    QString Schema;
    QString Name;
    QString Sql;
};

// The names of the open database that the workspace hands to its editor. Quote turns a name
// read from the database into SQL with the provider's rule (unchanged where it reads as
// itself). Plain value; GUI thread.
struct TSqlNames {
    QList<TSqlTable> Tables;
    QStringList Schemas;
    std::function<QString(const QString&)> Quote;
};
