#pragma once

#include <QString>

// One database side of the fetch benchmark: it makes the data, and measures the peers the
// data layer is compared with. The table has six columns: id (integer), name (20
// characters), amount (real), note (60 to 99 characters), day (date) and gap (always NULL).
class TBenchSource {
public:
    virtual ~TBenchSource() = default;
    // Creates the table with the rows; returns the connection string for TConnection.
    virtual QString Prepare(qint64 rows) = 0;
    virtual QString SelectAll() const {
        return QStringLiteral("SELECT id, name, amount, note, day, gap FROM bench_fetch");
    }
    // The bare driver loop copying every value: seconds; also sets the bytes of the TSV text.
    virtual double BareLoop(qint64& tsvBytes) = 0;
    // The floor: the driver's own row loop reading every value where the driver keeps it,
    // without copying (a checksum keeps the reads); seconds.
    virtual double FloorLoop() = 0;
    // The command-line client writing the result to /dev/null: seconds, or -1 if it is missing.
    virtual double CommandLineClient() = 0;
    virtual QString ClientName() const = 0;
    virtual void CleanUp() = 0;
};

TBenchSource* NewSqliteSource();
// Null while the PostgreSQL side is not written; TABULO_TEST_PG names the server.
TBenchSource* NewPostgresSource();
