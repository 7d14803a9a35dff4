// Test support: keyed files of the command layout on one engine, for a test
// fixture: the test's folder, its database setting, files made and opened
// on it, and the peer's arguments for them.
#ifndef KVR_TESTS_KEYED_FILES_H
#define KVR_TESTS_KEYED_FILES_H

#include "engines.h"
#include "peer_process.h"
#include "keyed_file/keyed_file.h"
#include "keyed_file/store_choice.h"
#include "test_layout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kvr::testing {

// A record of the layout with the card and name given, the rest fill.
inline std::vector<unsigned char> commandRecord(const std::string &card, const std::string &name,
                                                unsigned char fill = ' ') {
    std::vector<unsigned char> r(184, fill);
    std::memset(r.data(), ' ', 40);
    std::memcpy(r.data(), card.data(), std::min<std::size_t>(card.size(), 10));
    std::memcpy(r.data() + 10, name.data(), std::min<std::size_t>(name.size(), 30));
    return r;
}

inline std::string nameOf(keyed::KeyedFile &f) {
    std::string n(reinterpret_cast<const char *>(f.buffer().data()) + 10, 30);
    return n.substr(0, n.find_last_not_of(' ') + 1);
}

class KeyedFiles {
public:
    explicit KeyedFiles(Engine engine) : engine(engine), database(databaseFor(engine)) {}

    const Engine engine;
    ScratchFolder folder;
    const std::string database;
    const keyed::KeyedLayout layout = commandsLikeLayout();
    // The file of the tests: an SQLite file in the folder, or the table
    // "commands" of the test's database.
    const std::string name = folder.file("COMMANDS");
    const std::string path = name + ".tps";

    bool onSqlite() const { return engine == Engine::Sqlite; }

    std::unique_ptr<keyed::KeyedFile> keyed(const std::string &fileName) const {
        return std::make_unique<keyed::KeyedFile>(layout, fileName, keyed::makeKeyedStore(database, layout));
    }
    std::unique_ptr<keyed::KeyedFile> keyed() const { return keyed(name); }

    std::vector<std::string> peer(std::vector<std::string> arguments) const {
        return onDatabase(database, std::move(arguments));
    }

    // Makes the file with the records (card, name) in this order.
    void makeFile(const std::vector<std::pair<std::string, std::string>> &records) const {
        auto f = keyed();
        ASSERT_EQ(f->create(), 0);
        ASSERT_EQ(f->open(0x42), 0);
        for (auto &[card, cmd] : records) {
            f->buffer() = commandRecord(card, cmd);
            ASSERT_EQ(f->add(), 0);
        }
        f->close();
    }
};

}  // namespace kvr::testing

#endif
