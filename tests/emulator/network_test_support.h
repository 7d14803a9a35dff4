// Helpers shared by the network tests: elapsed time and an emulator on a
// free loopback port.
#ifndef KVR7X_NETWORK_TEST_SUPPORT_H
#define KVR7X_NETWORK_TEST_SUPPORT_H

#include <chrono>
#include <memory>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "emulator.h"

namespace kvr7x::test {

using Clock = std::chrono::steady_clock;

inline double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

inline std::unique_ptr<emu::Emulator> startEmulator(emu::Config config = {}) {
    config.port = 0;
    auto emulator = std::make_unique<emu::Emulator>(std::move(config));
    std::string error;
    EXPECT_TRUE(emulator->start(error)) << error;
    return emulator;
}

}  // namespace kvr7x::test

#endif
