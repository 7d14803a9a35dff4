// Test support: stops the test program's PostgreSQL server (postgres_server.h)
// when the tests end.  Include it in one source file of a test program.
#ifndef KVR_TESTS_POSTGRES_ENVIRONMENT_H
#define KVR_TESTS_POSTGRES_ENVIRONMENT_H

#include "postgres_server.h"

#include <gtest/gtest.h>

namespace kvr::testing {

class PostgresEnvironment : public ::testing::Environment {
public:
    void TearDown() override { stopTestServer(); }
};

inline ::testing::Environment *const kPostgresEnvironment =
    ::testing::AddGlobalTestEnvironment(new PostgresEnvironment);

}  // namespace kvr::testing

#endif
