#include "temporary_config.h"

#include "startup/library_setting.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

namespace kvr::startup {
namespace {

using kvr::test_support::TemporaryConfig;

// Sets or removes KVR_COMMANDS_DB for as long as it lives.
class LibraryVariable {
public:
    explicit LibraryVariable(const std::optional<std::string> &value) {
        if (const char *old = std::getenv(kName)) saved_ = old;
        if (value)
            ::setenv(kName, value->c_str(), 1);
        else
            ::unsetenv(kName);
    }
    ~LibraryVariable() {
        if (saved_)
            ::setenv(kName, saved_->c_str(), 1);
        else
            ::unsetenv(kName);
    }

private:
    static constexpr const char *kName = "KVR_COMMANDS_DB";
    std::optional<std::string> saved_;
};

TEST(LibrarySetting, TheEnvironmentOverridesTheSettingsFileForOneRun) {
    struct Case {
        const char *settings;
        std::optional<std::string> variable;
        std::string database;
    };
    const Case cases[] = {
        {"", std::nullopt, ""},
        {"[SmartCard]\nComPort=COM2\n", std::nullopt, ""},
        {"[Commands]\nDatabase=\n", std::nullopt, ""},
        {"[commands]\ndatabase = postgresql://ana@db/kvr\n", std::nullopt, "postgresql://ana@db/kvr"},
        {"[Commands]\nDatabase=host=db dbname=kvr\n", std::nullopt, "host=db dbname=kvr"},
        {"[Commands]\nDatabase=postgresql://ana@db/kvr\n", std::string("postgresql://bea@test/kvr"),
         "postgresql://bea@test/kvr"},
        {"", std::string("postgresql://bea@test/kvr"), "postgresql://bea@test/kvr"},
        // Set but empty: the file of this station for this run.
        {"[Commands]\nDatabase=postgresql://ana@db/kvr\n", std::string(), ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.settings);
        TemporaryConfig config;
        config.writeSettings(c.settings);
        LibraryVariable variable(c.variable);
        EXPECT_EQ(libraryDatabaseSetting(), c.database);
    }
}

}  // namespace
}  // namespace kvr::startup
