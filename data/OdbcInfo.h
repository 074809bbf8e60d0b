#pragma once

#include <QStringList>

// What the ODBC driver manager knows on this machine, for the data link dialog. Both lists
// are empty when the ODBC environment cannot be set up; they never throw.

// The names of the installed drivers as "Driver=..." takes them (odbcinst.ini).
QStringList OdbcDriverNames();
// The names of the user and system data sources as "DSN=..." takes them (odbc.ini).
QStringList OdbcDataSourceNames();
