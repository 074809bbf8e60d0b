#include "bench/fetch/BenchSource.h"

// The PostgreSQL side: a scratch table on TABULO_TEST_PG, a PQsetSingleRowMode loop copying
// values, and "psql -At" to /dev/null. To be written with the PostgreSQL provider.
TBenchSource* NewPostgresSource()
{
    return nullptr;
}
