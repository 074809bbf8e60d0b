#pragma once

#include "data/ConnectionString.h"

// The text given to SQLDriverConnect for a connection string of the program's form: without
// "Provider", "User ID"/"Password" as UID/PWD, "Data Source" as DSN and "Initial Catalog" as
// Database where the string has no such key of its own, the keys of "Extended Properties"
// inline, and the streaming switches of the PostgreSQL and SQLite3 drivers (and booleans as
// booleans from the PostgreSQL driver) unless the user set them.
QString OdbcDriverConnectString(const TConnectionString& connection);
