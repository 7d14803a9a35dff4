// libKVR7x.so as a program loads it: exactly the 18 exports, its SONAME,
// its version record, and calls through the loaded library.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "kvr7x.h"

namespace {

const std::set<std::string> kExports{
    "LibMain",    "QXSENDCOMMAND",  "QXICCSTATUS",     "QXINSERT", "QXREMOVE",    "QXISOIN",
    "QXISOOUT",   "QXPOWERON",      "QXPOWEROFF",      "QXRESET",  "QXIFDSTATUS", "QXSETPARAM",
    "QXGETPARAM", "QXCARDINSERTED", "QXREADERPOWERED", "QXOPEN",   "QXCLOSE",     "QXNOTIFY"};

std::string run(const std::string &command) {
    std::string out;
    FILE *p = ::popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
    return out;
}

TEST(SharedLibrary, DynamicSymbolTableHoldsExactlyTheExportTable) {
    std::istringstream lines(run("nm -D --defined-only '" KVR7X_LIBRARY_FILE "'"));
    std::set<std::string> defined;
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string value, type, name;
        if (fields >> value >> type >> name) defined.insert(name);
    }
    EXPECT_EQ(defined, kExports);
}

TEST(SharedLibrary, SonameAndVersionRecord) {
    const std::string soname = "libKVR7x.so." + std::to_string(KVR7X_VERSION_MAJOR);
    EXPECT_NE(run("readelf -d '" KVR7X_LIBRARY_FILE "'").find("Library soname: [" + soname + "]"),
              std::string::npos);
    std::ifstream in(KVR7X_LIBRARY_FILE, std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::vector<std::string> texts{"KVR7x 32-Bit Library ",
                                         "InternalName=KVR7x",
                                         "32-Bit Library for KVR7x Family of Smart Card Readers",
                                         "FileVersion=" KVR7X_VERSION_RECORD,
                                         "ProductVersion=" KVR7X_VERSION_RECORD,
                                         "OriginalFilename=" + soname};
    for (const std::string &text : texts) {
        SCOPED_TRACE(text);
        EXPECT_NE(file.find(text + '\0'), std::string::npos);
    }
}

TEST(SharedLibrary, LoadsAndAnswersThroughItsExports) {
    void *lib = ::dlopen(KVR7X_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << ::dlerror();
    for (const auto &name : kExports) EXPECT_NE(::dlsym(lib, name.c_str()), nullptr) << name;
    EXPECT_EQ(::dlsym(lib, "_ZN5kvr7x11sendCommandEijjjjjjPhS0_S0_Pij"), nullptr);

    auto libMain = reinterpret_cast<decltype(&LibMain)>(::dlsym(lib, "LibMain"));
    auto open = reinterpret_cast<decltype(&QXOPEN)>(::dlsym(lib, "QXOPEN"));
    auto send = reinterpret_cast<decltype(&QXSENDCOMMAND)>(::dlsym(lib, "QXSENDCOMMAND"));
    auto close = reinterpret_cast<decltype(&QXCLOSE)>(::dlsym(lib, "QXCLOSE"));
    ASSERT_TRUE(libMain && open && send && close);
    EXPECT_EQ(libMain(0, 1, 0, 0), 1);
    EXPECT_EQ(open("no such port"), -1);
    EXPECT_EQ(send(5, 0x20, 0, 0x10, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, 100),
              KVR7X_BAD_HANDLE);
    EXPECT_EQ(close(5), 0);
    ::dlclose(lib);
}

}  // namespace
