#pragma once

#include <QString>
#include <exception>

// The class name and message of an error met while a schema rowset was read, as the object
// information and the connection report show it: "TDataError <message>".
QString SchemaErrorText(const std::exception& error);
