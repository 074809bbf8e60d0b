#pragma once

#include <QString>

class TIniFileEx;

// The sample database a new user finds in the catalogue as "Beispiel": customers, places,
// articles, orders and order lines, generated from the SQL script installed with the
// program. GUI thread, before the main window loads the catalogue.
class TSampleDatabase {
public:
    static QString EntryName() { return QStringLiteral("Beispiel"); }
    // <program folder>/../share/tabulo/beispiel.sql: /usr/share/tabulo for the package,
    // build/share/tabulo for a build.
    static QString ScriptFile();
    // beispiel.sqlite in Tabulo's folder of the user's data ($XDG_DATA_HOME/Tabulo).
    static QString DatabaseFile();

    // On a first start (no catalogue and no window placement stored) with the script present,
    // generates the database unless it exists and stores the catalogue entry pointing at it.
    // Returns whether it did; raises when the database cannot be generated.
    static bool OfferOnFirstStart(TIniFileEx& store, const QString& script, const QString& database);
    // Runs the script into a new file at `database`, which appears only when the script ran whole.
    static void Generate(const QString& script, const QString& database);
};
