#include "tests/support/TestSupport.h"

#include <QtGlobal>

namespace TestSupport {

QString PostgresConnectionString()
{
    return qEnvironmentVariable("TABULO_TEST_PG");
}

bool UnderCi()
{
    return qEnvironmentVariable("CI") == QLatin1String("true");
}

} // namespace TestSupport
