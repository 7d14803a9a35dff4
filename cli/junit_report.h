// A script run as a JUnit XML report, the form CI systems read: one
// testsuite for the script, one testcase a command line named "line N:
// COMMAND" with its time, a failure with the line's message when its reply
// was not the one expected, "skipped" for the lines a stopped run did not
// reach.
#ifndef KVR_CLI_JUNIT_REPORT_H
#define KVR_CLI_JUNIT_REPORT_H

#include <optional>
#include <string>
#include <vector>

namespace kvr::cli {

struct JunitCase {
    int line = 0;
    std::string command;  // as written
    double seconds = 0;
    bool ran = false;
    std::string failure;  // empty: passed (or not run)
};

// The whole XML document.  Texts are escaped for XML 1.0: a byte that is no
// UTF-8 and a control character XML cannot hold are written as "\xNN".
std::string junitReport(const std::string &suite, const std::vector<JunitCase> &cases);

}  // namespace kvr::cli

#endif
