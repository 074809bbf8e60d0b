#pragma once

#include <QString>
#include <exception>

// The class name and message of an error, as the object information, the connection report
// and the SQL error line show it: "TDataError <message>".
QString SchemaErrorText(const std::exception& error);
