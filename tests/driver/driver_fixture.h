// A scripted port with a scripted reader behind it, entered in the
// library's port table under a handle, as QXOPEN would leave it: under the
// base time-outs, echo mode off.
#ifndef KVR7X_TESTS_DRIVER_FIXTURE_H
#define KVR7X_TESTS_DRIVER_FIXTURE_H

#include <gtest/gtest.h>

#include <memory>

#include "kvr7x.h"
#include "port_table.h"
#include "scripted_port.h"
#include "transaction.h"

namespace kvr7x::test {

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        port = std::make_shared<ScriptedPort>();
        reader = std::make_unique<ScriptedReader>(*port);
        port->setTimeouts(kBaseTimeouts);
        port->clearSent();
        handle = registerPort(port);
        ASSERT_GE(handle, 0);
        setEchoMode(false);
    }
    void TearDown() override {
        (void)closePort(handle);  // a test may have closed it already
        setEchoMode(false);
    }

    std::shared_ptr<ScriptedPort> port;
    std::unique_ptr<ScriptedReader> reader;
    int32_t handle = -1;
};

inline constexpr int32_t kNoAnswer = static_cast<int32_t>(0x80000000u);
inline int32_t errorOf(uint32_t code) { return static_cast<int32_t>(code | 0x80000000u); }

}  // namespace kvr7x::test

#endif
