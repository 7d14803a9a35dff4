// A second process for the keyed-file tests: opens a file of the command
// layout and does one thing to it, reporting on standard output.  With a
// first argument --database=CONNINFO the file is a table of that PostgreSQL
// database (store_choice.h), else an SQLite file.
//
//   keyed_file_peer hold-open FILE MODE MS         open, "ready", wait, close
//   keyed_file_peer hold-transaction FILE MS [RECNO]
//                                                  read RECNO (when given), begin,
//                                                  "ready", wait, roll back
//   keyed_file_peer hold-put FILE RECNO CARD NAME MS
//                                                  read RECNO, begin, put the card
//                                                  and name, "ready", wait, commit;
//                                                  prints the commit's code
//   keyed_file_peer hold-read FILE MS              (SQLite) a reading database
//                                                  transaction held open: "ready", wait
//   keyed_file_peer hold-write-lock FILE MS        (SQLite) the database's exclusive
//                                                  lock held (nobody can read):
//                                                  "ready", wait
//   keyed_file_peer put FILE RECNO CARD NAME       read by number, set the card
//                                                  and name, put; prints the code
//   keyed_file_peer delete FILE RECNO              read by number, delete; code
//   keyed_file_peer adder FILE COUNT               "ready", then adds COUNT records
//                                                  (card "peer"); prints failures
//   keyed_file_peer writer FILE                    puts forever: every record
//                                                  filled with one generation byte
#include "keyed_file/keyed_file.h"
#include "keyed_file/store_choice.h"
#include "test_layout.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

using kvr::keyed::KeyedFile;

namespace {

void say(const std::string &text) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

void sleepMs(long ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

void setCardAndName(KeyedFile &file, const char *card, const char *name) {
    auto &b = file.buffer();
    std::memset(b.data(), ' ', 40);
    std::memcpy(b.data(), card, std::min<std::size_t>(10, std::strlen(card)));
    std::memcpy(b.data() + 10, name, std::min<std::size_t>(30, std::strlen(name)));
}

int main(int argc, char **argv) {
    std::string database;
    if (argc > 1 && std::strncmp(argv[1], "--database=", 11) == 0) {
        database = argv[1] + 11;
        --argc;
        ++argv;
    }
    if (argc < 3) return 2;
    const std::string what = argv[1];
    const auto layout = kvr::testing::commandsLikeLayout();
    KeyedFile file(layout, argv[2], kvr::keyed::makeKeyedStore(database, layout));
    if (what == "hold-read" && argc == 4) {
        // Straight through the database: the engine never keeps a read open.
        sqlite3 *db = nullptr;
        if (sqlite3_open_v2(argv[2], &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) return 1;
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        int rc = sqlite3_exec(db, "SELECT count(*) FROM records", nullptr, nullptr, nullptr);
        say(rc == SQLITE_OK ? "ready" : "error " + std::to_string(rc));
        sleepMs(std::atol(argv[3]));
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        return 0;
    }
    if (what == "hold-write-lock" && argc == 4) {
        sqlite3 *db = nullptr;
        if (sqlite3_open_v2(argv[2], &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) return 1;
        int rc = sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
        say(rc == SQLITE_OK ? "ready" : "error " + std::to_string(rc));
        sleepMs(std::atol(argv[3]));
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        return 0;
    }
    if (what == "hold-open" && argc == 5) {
        int code = file.open(static_cast<int>(std::strtol(argv[3], nullptr, 0)));
        say(code == 0 ? "ready" : "error " + std::to_string(code));
        sleepMs(std::atol(argv[4]));
        return 0;
    }
    int code = file.open(KeyedFile::kModeSharedReadWrite);
    if (code != 0) {
        say("error " + std::to_string(code));
        return 1;
    }
    if (what == "hold-transaction" && (argc == 4 || argc == 5)) {
        if (argc == 5) code = file.readByNumber(static_cast<std::uint32_t>(std::atol(argv[4])));
        if (code == 0) code = file.beginTransaction(5000);
        say(code == 0 ? "ready" : "error " + std::to_string(code));
        sleepMs(std::atol(argv[3]));
        // The process ends here; the test reads only what it said above.
        (void)file.rollback();
        return 0;
    }
    if (what == "hold-put" && argc == 7) {
        code = file.readByNumber(static_cast<std::uint32_t>(std::atol(argv[3])));
        if (code == 0) code = file.beginTransaction(5000);
        if (code == 0) {
            setCardAndName(file, argv[4], argv[5]);
            code = file.put();
        }
        say(code == 0 ? "ready" : "error " + std::to_string(code));
        sleepMs(std::atol(argv[6]));
        say(std::to_string(code == 0 ? file.commit() : code));
        return 0;
    }
    if (what == "put" && argc == 6) {
        code = file.readByNumber(static_cast<std::uint32_t>(std::atol(argv[3])));
        if (code == 0) {
            setCardAndName(file, argv[4], argv[5]);
            code = file.put();
        }
        say(std::to_string(code));
        return 0;
    }
    if (what == "delete" && argc == 4) {
        code = file.readByNumber(static_cast<std::uint32_t>(std::atol(argv[3])));
        if (code == 0) code = file.remove();
        say(std::to_string(code));
        return 0;
    }
    if (what == "adder" && argc == 4) {
        say("ready");
        int failures = 0;
        std::string first;
        for (long i = 0, n = std::atol(argv[3]); i < n; ++i) {
            auto &b = file.buffer();
            b.assign(184, ' ');
            std::memcpy(b.data(), "peer", 4);
            std::string name = std::to_string(i);
            std::memcpy(b.data() + 10, name.data(), name.size());
            if (file.add() != 0 && failures++ == 0)
                first = " " + std::to_string(file.lastError().code) + " " + file.lastError().driverCode + " " +
                        file.lastError().driverText;
        }
        say(std::to_string(failures) + first);
        return 0;
    }
    // Adds records three to a transaction for ever, saying how many it has
    // committed after each commit.
    if (what == "committer") {
        say("ready");
        for (long committed = 0;; committed += 3) {
            if (file.beginTransaction(5000) != 0) return 1;
            for (int i = 0; i < 3; ++i) {
                auto &b = file.buffer();
                b.assign(184, ' ');
                const std::string card = "k" + std::to_string((committed + i) % 97);
                std::memcpy(b.data(), card.data(), card.size());
                const std::string name = std::to_string(committed + i);
                std::memcpy(b.data() + 10, name.data(), name.size());
                if (file.add() != 0) return 1;
            }
            if (file.commit() != 0) return 1;
            say("committed " + std::to_string(committed + 3));
        }
    }
    if (what == "writer") {
        std::int64_t count = file.records();
        for (unsigned generation = 1;; ++generation) {
            unsigned char fill = static_cast<unsigned char>('A' + generation % 26);
            for (std::uint32_t recno = 1; recno <= static_cast<std::uint32_t>(count); ++recno) {
                if (file.readByNumber(recno) != 0) return 1;
                file.buffer().assign(184, fill);
                if (file.put() != 0) return 1;
            }
            if (generation == 1) say("ready");
        }
    }
    return 2;
}
