// A corpus of damaged command files, run by hand (not a test):
//
//   damaged_corpus [COPIES [START]]   (defaults 1000 and 1)
//
// Makes a sound 300-record command file, then COPIES copies of it, each
// damaged at random: most with one to three bits flipped anywhere in the
// file, some with one to three bits flipped inside one record's bytes, some
// left with a hot rollback journal (a writer killed during a transaction
// that changed every record's page) with 8 bytes of the journal flipped,
// some cut short, some with a record number set beyond 32 bits or below 1
// behind the engine's back.  Each copy runs in a child process of its own,
// with a time limit, as the program would use it:
//
//   1. open it as the manager opens its own file (42h: a hot journal is
//      rolled back); on 46 rebuild the key and open again (47 and 90 are
//      the other answers a damaged file may get: no keyed file of this
//      layout, a damaged file);
//   2. read it in key order forward, backward, forward reading each record
//      back by its position (as the browser does), and in 20-row pages;
//   3. import a second copy of the same damage into an empty COMMANDS.
//
// It prints how the opens ended, how the reads ended, and the faults the
// engine must never show: a read that does not end (the child is stopped
// at its time limit), an open that returns 0 and a read that ends without
// an error having missed records, a read that delivers a record other than
// one that was written, an import that appends more than the copy holds,
// reports another number than it appended or appends a record other than
// one that was written.  Built with the
// sanitizers, a report of theirs ends the child and is counted too.
#include "common/unique_fd.h"
#include "runtime/qt/screen_interaction.h"
#include "library/command_import.h"
#include "library/commands_file.h"
#include "library/commands_library.h"
#include "library/commands_use.h"
#include "keyed_file/keyed_file.h"
#include "keyed_file/keyed_view.h"
#include "keyed_file/store_choice.h"

#include <sqlite3.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using kvr::keyed::KeyedFile;

namespace {

constexpr int kRecords = 300;
constexpr int kSecondsPerCopy = 30;

// The child's findings, one bit each, as its exit status.
enum Finding : int {
    OpenedOk = 1 << 0,
    Opened46 = 1 << 1,
    Opened90 = 1 << 2,
    RebuildFailed = 1 << 3,
    ReadStopped90 = 1 << 4,  // a read stopped with 90 (the damage found)
    ShortRead = 1 << 5,      // opened with 0, a read ended normally with records missing
    TooManySteps = 1 << 6,   // a read delivered more records than the file holds
    ImportOverAppended = 1 << 7,
    ImportMiscounted = 1 << 8,
    OtherCode = 1 << 9,           // an open or read gave a code outside 0, 33, 46, 47, 90
    Opened47 = 1 << 10,           // the damage left no keyed file of this layout
    ReadWrongRecord = 1 << 11,    // a read delivered a record that was never written
    ImportWrongRecord = 1 << 12,  // an import appended a record that was never written
};
constexpr int kFindings = 13;

// The image of the record numbered i of the sound file (all distinct).
std::vector<unsigned char> soundRecord(int i) {
    std::vector<unsigned char> b(kvr::library::kCommandsRecordSize, ' ');
    char card[16];
    std::snprintf(card, sizeof card, "c%05d", i / 5);
    std::memcpy(b.data(), card, std::strlen(card));
    const std::string name = "command " + std::to_string(i);
    std::memcpy(b.data() + 10, name.data(), name.size());
    return b;
}

// Whether the bytes are those of a record that was written.
bool wasWritten(const std::vector<unsigned char> &image) {
    static const std::set<std::string> records = [] {
        std::set<std::string> all;
        for (int i = 0; i < kRecords; ++i) {
            const std::vector<unsigned char> r = soundRecord(i);
            all.emplace(r.begin(), r.end());
        }
        return all;
    }();
    return records.count(std::string(image.begin(), image.end())) != 0;
}

void tellOther(const char *where, int code) { std::fprintf(stderr, "  (%s gave %d)\n", where, code); }

bool build(const std::string &path) {
    KeyedFile f(kvr::library::commandsLayout(), path, kvr::keyed::makeKeyedStore({}, kvr::library::commandsLayout()));
    if (f.create() != 0 || f.open(0x42) != 0 || f.beginTransaction() != 0) return false;
    for (int n = 0; n < kRecords; ++n) {
        f.buffer() = soundRecord(n * 7 % kRecords);
        if (f.add() != 0) return false;
    }
    return f.commit() == 0 && f.close() == 0;
}

void sql(const std::string &path, const std::string &text) {
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(db, text.c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

std::uint32_t changeCounter(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char b[4] = {};
    in.seekg(24);
    in.read(reinterpret_cast<char *>(b), 4);
    return std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3];
}

// Leaves a hot rollback journal beside the file: a writer that changed
// every record's page (its cache too small to hold them, so that the
// changed pages reach the file) and died before its commit.
void leaveHotJournal(const std::string &path) {
    const pid_t writer = ::fork();
    if (writer == 0) {
        sqlite3 *db = nullptr;
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_exec(db, "PRAGMA cache_size = 1; BEGIN; UPDATE records SET version = version + 1", nullptr, nullptr,
                     nullptr);
        ::_exit(0);  // no commit, no rollback
    }
    int status = 0;
    ::waitpid(writer, &status, 0);
}

// The damage of one copy, applied to both its files alike.
struct Damage {
    enum Kind { Flips, RecordFlips, HotJournal, Cut, NumberTooHigh, NumberTooLow } kind = Flips;
    std::vector<std::pair<std::uintmax_t, int>> flips;  // offset, bit
    std::uintmax_t size = 0;
    int recno = 0;

    void apply(const std::string &path) const {
        switch (kind) {
        case Flips: {
            std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
            for (auto [offset, bit] : flips) {
                f.seekg(static_cast<std::streamoff>(offset));
                const int byte = f.get();
                f.seekp(static_cast<std::streamoff>(offset));
                f.put(static_cast<char>(byte ^ (1 << bit)));
            }
            break;
        }
        case RecordFlips: {
            // Inside the bytes the file keeps of record recno: its card and
            // name (the rest is the blank tail, which is not kept).
            std::ifstream in(path, std::ios::binary);
            const std::string bytes{std::istreambuf_iterator<char>(in), {}};
            in.close();
            const std::vector<unsigned char> image = soundRecord(recno);
            const std::string name(image.begin() + 10, image.begin() + 40);
            const std::string kept =
                std::string(image.begin(), image.begin() + 10) + name.substr(0, name.find_last_not_of(' ') + 1);
            const std::size_t at = bytes.find(kept);
            if (at == std::string::npos) break;
            std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
            for (auto [offset, bit] : flips) {
                const auto place = static_cast<std::streamoff>(at + offset % kept.size());
                f.seekg(place);
                const int byte = f.get();
                f.seekp(place);
                f.put(static_cast<char>(byte ^ (1 << bit)));
            }
            break;
        }
        case HotJournal: {
            leaveHotJournal(path);
            const std::string journal = path + "-journal";
            std::error_code error;
            const std::uintmax_t length = fs::file_size(journal, error);
            if (error || length <= 512) break;
            std::fstream f(journal, std::ios::in | std::ios::out | std::ios::binary);
            for (auto [offset, bit] : flips) {
                const auto place = static_cast<std::streamoff>(512 + offset % (length - 512));
                f.seekg(place);
                const int byte = f.get();
                f.seekp(place);
                f.put(static_cast<char>(byte ^ (1 << bit)));
            }
            break;
        }
        case Cut: fs::resize_file(path, size); break;
        case NumberTooHigh:
        case NumberTooLow:
            // Written behind the engine's back, then dressed up as its own
            // last write, so that the open trusts the file.
            sql(path, "UPDATE records SET recno = " + std::string(kind == NumberTooHigh ? "4294967301" : "-7") +
                          " WHERE recno = " + std::to_string(recno));
            sql(path, "UPDATE keyed_check SET stamp = " + std::to_string(changeCounter(path) + 1));
            break;
        }
    }
};

// wrong: a record delivered was not one of those written.
int readAll(KeyedFile &f, int how, int &delivered, bool &wrong) {
    delivered = 0;
    int code = 0;
    if (how == 3) {
        kvr::keyed::KeyedView view(f);
        if (const int opened = view.open(); opened != 0) return opened;
        std::vector<kvr::keyed::ViewRecord> rows;
        while ((code = view.read(kvr::keyed::ViewDirection::Forward, 20, rows)) == 0 && rows.size() <= 400) {}
        delivered = static_cast<int>(rows.size());
        for (const kvr::keyed::ViewRecord &row : rows) wrong = wrong || !wasWritten(row.data);
        return code;
    }
    if (const int placed = how == 1 ? f.setEnd() : f.setStart(); placed != 0) return placed;
    for (; delivered <= 400; ++delivered) {
        code = how == 1 ? f.previous() : f.next();
        if (code != 0) break;
        wrong = wrong || !wasWritten(f.buffer());
        if (how == 2 && (code = f.readByPosition(f.position())) != 0) break;
        wrong = wrong || !wasWritten(f.buffer());
    }
    return code;
}

int examine(const std::string &read, const std::string &imported, const std::string &folder) {
    int found = 0;
    {
        KeyedFile f(kvr::library::commandsLayout(), read,
                    kvr::keyed::makeKeyedStore({}, kvr::library::commandsLayout()));
        int opened = f.open(0x42);
        if (opened == 46) {
            found |= Opened46;
            if (f.buildKeys() != 0) found |= RebuildFailed;
            opened = f.open(0x42);
        }
        if (opened == 0 && !(found & Opened46)) found |= OpenedOk;
        if (opened == 90) found |= Opened90;
        if (opened == 47) found |= Opened47;
        if (opened != 0 && opened != 46 && opened != 47 && opened != 90) {
            found |= OtherCode;
            tellOther("open", opened);
        }
        if (opened == 0) {
            for (int how = 0; how < 4; ++how) {
                int delivered = 0;
                bool wrong = false;
                const int code = readAll(f, how, delivered, wrong);
                if (wrong) found |= ReadWrongRecord;
                if (delivered > kRecords + 1) found |= TooManySteps;
                if (code == 33 && delivered < kRecords) found |= ShortRead;
                if (code == 90) found |= ReadStopped90;
                if (code != 33 && code != 90) {
                    found |= OtherCode;
                    tellOther("a read", code);
                }
            }
        }
    }
    // The import, into an empty COMMANDS of its own folder.
    fs::current_path(folder);
    kvr::runtime::qt::ScreenInteraction screen;
    kvr::library::CommandsLibrary library(screen);
    kvr::library::CommandsUse use(library);
    use.acquire();
    library.setImportFileName(imported);
    const kvr::library::ImportResult result = kvr::library::importCommandFile(library);
    const std::int64_t held = library.commandsFile().records();
    if (held > kRecords + 1) found |= ImportOverAppended;
    if (held != result.report.appended) found |= ImportMiscounted;
    KeyedFile &commands = library.commandsFile();
    if (commands.setStart() == 0)
        while (commands.next() == 0)
            if (!wasWritten(commands.buffer())) found |= ImportWrongRecord;
    return found;
}

}  // namespace

int main(int argc, char **argv) {
    const int copies = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    const unsigned randomStart = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 1u;
    const fs::path folder = fs::temp_directory_path() / ("kvr-damaged-corpus-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const std::string sound = (folder / "SOUND.tps").string();
    if (!build(sound)) {
        std::fprintf(stderr, "could not build the sound file\n");
        return 1;
    }
    const std::uintmax_t size = fs::file_size(sound);
    std::mt19937_64 random(randomStart);

    std::map<int, int> counts, kinds;
    int hung = 0, crashed = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int copy = 0; copy < copies; ++copy) {
        Damage damage;
        const int pick = static_cast<int>(random() % 100);
        if (pick < 58) {
            damage.kind = Damage::Flips;
            const int flips = 1 + static_cast<int>(random() % 3);
            for (int i = 0; i < flips; ++i)
                damage.flips.push_back({100 + random() % (size - 100), static_cast<int>(random() % 8)});
        } else if (pick < 78) {
            damage.kind = Damage::RecordFlips;
            damage.recno = static_cast<int>(random() % kRecords);
            const int flips = 1 + static_cast<int>(random() % 3);
            for (int i = 0; i < flips; ++i) damage.flips.push_back({random() % 64, static_cast<int>(random() % 8)});
        } else if (pick < 88) {
            damage.kind = Damage::HotJournal;
            for (int i = 0; i < 8; ++i) damage.flips.push_back({random(), static_cast<int>(random() % 8)});
        } else if (pick < 94) {
            damage.kind = Damage::Cut;
            damage.size = random() % size;
        } else {
            damage.kind = pick < 97 ? Damage::NumberTooHigh : Damage::NumberTooLow;
            damage.recno = 1 + static_cast<int>(random() % kRecords);
        }
        const fs::path place = folder / std::to_string(copy);
        fs::create_directories(place);
        const std::string read = (place / "READ.tps").string(), imported = (place / "IMPORT.tps").string();
        fs::copy_file(sound, read);
        fs::copy_file(sound, imported);
        damage.apply(read);
        damage.apply(imported);

        int channel[2];
        if (::pipe(channel) != 0) return 1;
        kvr::common::UniqueFd fromChild(channel[0]), toParent(channel[1]);
        const pid_t child = ::fork();
        if (child == 0) {
            fromChild.reset();
            ::alarm(kSecondsPerCopy);  // a read that does not end is stopped here
            const int found = examine(read, imported, place.string());
            if (::write(toParent.get(), &found, sizeof found) != sizeof found) ::_exit(2);
            ::_exit(0);
        }
        toParent.reset();
        int found = 0;
        const bool told = ::read(fromChild.get(), &found, sizeof found) == sizeof found;
        fromChild.reset();
        int status = 0;
        ::waitpid(child, &status, 0);
        if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM)
            ++hung;
        else if (!told || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            ++crashed;  // a crash, or a sanitizer's report
        for (int bit = 0; bit < kFindings; ++bit)
            if (found & (1 << bit)) ++counts[bit];
        ++kinds[damage.kind];
        fs::remove_all(place);
    }
    std::printf("%d damaged copies of a %d-record file (random start %u), in %.0f s\n", copies, kRecords, randomStart,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    const char *names[] = {"opened with 0",
                           "opened with 46 (key rebuilt)",
                           "opened with 90 (damaged)",
                           "key rebuild failed",
                           "a read stopped with 90",
                           "FAULT opened with 0, a read ended with records missing",
                           "FAULT a read delivered more records than the file holds",
                           "FAULT an import appended more than the copy holds",
                           "FAULT an import reported another number than it appended",
                           "FAULT another code than 0, 33, 46, 47 or 90",
                           "opened with 47 (no keyed file of this layout)",
                           "FAULT a read delivered a record that was never written",
                           "FAULT an import appended a record that was never written"};
    const char *kindNames[] = {"bits flipped anywhere",          "bits flipped in a record",
                               "a hot journal, 8 bytes flipped", "cut short",
                               "a record number beyond 32 bits", "a record number below 1"};
    for (int kind = 0; kind < 6; ++kind) std::printf("  copies: %-50s %5d\n", kindNames[kind], kinds[kind]);
    for (int bit = 0; bit < kFindings; ++bit) std::printf("  %-58s %5d\n", names[bit], counts[bit]);
    std::printf("  %-58s %5d\n", "FAULT a read or import that did not end", hung);
    std::printf("  %-58s %5d\n", "FAULT a crash or a sanitizer's report", crashed);
    fs::remove_all(folder);
    return 0;
}
