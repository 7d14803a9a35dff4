// The exchange history without its window: bounded with the oldest dropped
// first, sequence numbers, the listener; how an exchange is written (line
// pairs, CSV that reads back field by field); saving to real files and the
// log appended to across sessions; refused paths with the system's reason.
#include "session/exchange_history.h"
#include "session/exchange_text.h"
#include "session/history_file.h"

#include "common/unique_fd.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <process.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kvr::session {
namespace {

// 2026-12-09 10:15:03.123 UTC.
constexpr int64_t kMorning = 1796811303123;

// The C runtime's time zone: TZ set, or the system's (nullptr).
void setZone(const char *zone) {
#ifdef _WIN32
    // The C runtime reads "NAME[+|-]HOURS"; an empty value clears it.
    _putenv_s("TZ", zone ? zone : "");
    _tzset();
#else
    if (zone)
        setenv("TZ", zone, 1);
    else
        unsetenv("TZ");
    tzset();
#endif
}

#ifdef _WIN32
constexpr const char *kUtc = "UTC0";
#else
constexpr const char *kUtc = "UTC";
#endif

// How the history is written, with times read in UTC whatever the
// machine's zone.
class ExchangeHistoryText : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char *tz = std::getenv("TZ")) saved_ = tz, hadZone_ = true;
        setZone(kUtc);
    }
    void TearDown() override { setZone(hadZone_ ? saved_.c_str() : nullptr); }

private:
    std::string saved_;
    bool hadZone_ = false;
};

Exchange selectNotFound() {
    Exchange e;
    e.startedMs = kMorning;
    e.durationMs = 38;
    e.header = {0xA1, 0x00, 0xA4, 0x00, 0x0C, 0x02};
    e.sent = std::string("\x7F\x7F", 2);
    e.result = 0;
    e.sw1 = 0x6A;
    e.sw2 = 0x82;
    e.status = "Comando procesado correctamente";
    e.meaning = "Fichero o aplicación no encontrado";
    return e;
}

Exchange readBinary() {
    Exchange e;
    e.startedMs = kMorning + 1000;
    e.durationMs = 1204;
    e.header = {0x21, 0x00, 0xB0, 0x00, 0x00, 0x03};
    e.result = 0;
    e.sw1 = 0x90;
    e.sw2 = 0x00;
    e.received = std::string("\x00\x41\xFF", 3);
    e.status = "Comando procesado correctamente";
    e.meaning = "Proceso correcto";
    return e;
}

Exchange reset() {
    Exchange e;
    e.kind = Exchange::Kind::Reset;
    e.startedMs = kMorning + 2000;
    e.durationMs = 15;
    e.result = 0;
    e.sw1 = 0x90;
    e.received = "KVR74";
    e.status = "0";
    e.meaning = "Proceso correcto";
    return e;
}

// A driver error, with a status text holding a comma and quotes for CSV.
Exchange portGone() {
    Exchange e;
    e.startedMs = kMorning + 3000;
    e.durationMs = 0;
    e.header = {0x20, 0x00, 0x10, 0x00, 0x00, 0x00};
    e.result = static_cast<int32_t>(0x80000002u);
    e.status = "Error desconocido -2147483646";
    e.meaning = "El puerto no existe, \"COM2\"";
    return e;
}

// A reply whose data decode: the decoding holds commas and quotes for CSV.
Exchange fciRead() {
    Exchange e;
    e.startedMs = kMorning + 4000;
    e.durationMs = 7;
    e.header = {0x21, 0x00, 0xC0, 0x00, 0x00, 0x04};
    e.result = 0;
    e.sw1 = 0x90;
    e.received = std::string("\x6F\x02\x50\x00", 4);
    e.status = "Comando procesado correctamente";
    e.meaning = "Proceso correcto";
    e.decoding = "6F [2] Plantilla FCI; 50 [0] Etiqueta de aplicación: (\"\", vacía)";
    return e;
}

std::string readFile(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// RFC 4180 rows: fields split at commas outside quotes, "" inside quotes a
// quote, rows ended by CRLF.
std::vector<std::vector<std::string>> parseCsv(const std::string &text) {
    std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                rows.back().back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                rows.back().back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().emplace_back();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
            rows.emplace_back(1);
        } else {
            rows.back().back() += c;
        }
    }
    if (rows.back().size() == 1 && rows.back()[0].empty()) rows.pop_back();
    return rows;
}

TEST(ExchangeHistory, KeepsTheNewestUpToItsCapacityAndCountsOn) {
    ExchangeHistory history(3);
    int told = 0;
    history.setListener([&] { ++told; });
    for (int i = 0; i < 5; ++i) {
        Exchange e;
        e.durationMs = i;
        history.append(e);
    }
    EXPECT_EQ(told, 5);
    ASSERT_EQ(history.size(), 3u);
    EXPECT_EQ(history.firstSequence(), 2u);
    EXPECT_EQ(history.endSequence(), 5u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(history.at(i).durationMs, static_cast<int64_t>(i + 2));
    EXPECT_EQ(history.bySequence(1), nullptr) << "dropped";
    EXPECT_EQ(history.bySequence(5), nullptr) << "not yet appended";
    ASSERT_NE(history.bySequence(4), nullptr);
    EXPECT_EQ(history.bySequence(4)->durationMs, 4);

    history.clear();
    EXPECT_EQ(told, 6);
    EXPECT_TRUE(history.empty());
    EXPECT_EQ(history.firstSequence(), 5u);
    history.append(Exchange{});
    EXPECT_EQ(history.firstSequence(), 5u);
    EXPECT_EQ(history.endSequence(), 6u);
    EXPECT_EQ(ExchangeHistory().capacity(), 10000u);
}

// The read of a card script's line, with its verdict.
Exchange scriptLine() {
    Exchange e = readBinary();
    e.verdict = "card.kvs:4: cumple";
    return e;
}

TEST_F(ExchangeHistoryText, EachExchangeIsALinePairAndEachColumnItsText) {
    struct Case {
        Exchange exchange;
        const char *lines;
        std::vector<std::string> columns;
    };
    const Case cases[] = {
        {selectNotFound(),
         "10:15:03.123 > A1 00 A4 00 0C 02  7F 7F\n"
         "       38 ms  < 00 6A 82 00  Comando procesado correctamente  (Fichero o aplicación no encontrado)\n",
         {"10:15:03.123", "38", "A1 00 A4 00 0C 02", "7F 7F", "00 6A 82 00", "", "Comando procesado correctamente",
          "Fichero o aplicación no encontrado", "", ""}},
        {readBinary(),
         "10:15:04.123 > 21 00 B0 00 00 03\n"
         "     1204 ms  < 00 90 00 03  00 41 FF  Comando procesado correctamente  (Proceso correcto)\n",
         {"10:15:04.123", "1204", "21 00 B0 00 00 03", "", "00 90 00 03", "00 41 FF", "Comando procesado correctamente",
          "Proceso correcto", "", ""}},
        {scriptLine(),
         "10:15:04.123 > 21 00 B0 00 00 03\n"
         "     1204 ms  < 00 90 00 03  00 41 FF  Comando procesado correctamente  (Proceso correcto)\n",
         {"10:15:04.123", "1204", "21 00 B0 00 00 03", "", "00 90 00 03", "00 41 FF", "Comando procesado correctamente",
          "Proceso correcto", "", "card.kvs:4: cumple"}},
        {reset(),
         "10:15:05.123 > Reset\n"
         "       15 ms  < 00 90 00 05  4B 56 52 37 34  0  (Proceso correcto)\n",
         {"10:15:05.123", "15", "Reset", "", "00 90 00 05", "4B 56 52 37 34", "0", "Proceso correcto", "", ""}},
        {portGone(),
         "10:15:06.123 > 20 00 10 00 00 00\n"
         "        0 ms  < 02  Error desconocido -2147483646  (El puerto no existe, \"COM2\")\n",
         {"10:15:06.123", "0", "20 00 10 00 00 00", "", "02", "", "Error desconocido -2147483646",
          "El puerto no existe, \"COM2\"", "", ""}},
        {fciRead(),
         "10:15:07.123 > 21 00 C0 00 00 04\n"
         "        7 ms  < 00 90 00 04  6F 02 50 00  Comando procesado correctamente  (Proceso correcto)\n"
         "              = 6F [2] Plantilla FCI; 50 [0] Etiqueta de aplicación: (\"\", vacía)\n",
         {"10:15:07.123", "7", "21 00 C0 00 00 04", "", "00 90 00 04", "6F 02 50 00", "Comando procesado correctamente",
          "Proceso correcto", "6F [2] Plantilla FCI; 50 [0] Etiqueta de aplicación: (\"\", vacía)", ""}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.lines);
        EXPECT_EQ(exchangeLines(c.exchange), c.lines);
        ASSERT_EQ(c.columns.size(), static_cast<std::size_t>(kExchangeColumns));
        for (int col = 0; col < kExchangeColumns; ++col)
            EXPECT_EQ(exchangeColumn(c.exchange, static_cast<ExchangeColumn>(col)), c.columns[col]) << col;
    }
    EXPECT_EQ(dateText(kMorning), "2026-12-09");
}

TEST_F(ExchangeHistoryText, TheCsvReadsBackFieldByField) {
    ExchangeHistory history;
    for (const Exchange &e : {selectNotFound(), readBinary(), reset(), portGone(), fciRead()}) history.append(e);
    const std::vector<std::vector<std::string>> rows = parseCsv(historyCsv(history));
    const std::vector<std::vector<std::string>> expected = {
        {"Fecha", "Hora", "ms", "Orden", "CODE", "CLA", "INS", "P1", "P2", "P3", "Datos enviados", "STAT", "SW1", "SW2",
         "LEN", "Datos recibidos", "Estado", "Significado", "Decodificación"},
        {"2026-12-09", "10:15:03.123", "38", "Comando", "A1", "00", "A4", "00", "0C", "02", "7F 7F", "00", "6A", "82",
         "00", "", "Comando procesado correctamente", "Fichero o aplicación no encontrado", ""},
        {"2026-12-09", "10:15:04.123", "1204", "Comando", "21", "00", "B0", "00", "00", "03", "", "00", "90", "00",
         "03", "00 41 FF", "Comando procesado correctamente", "Proceso correcto", ""},
        {"2026-12-09", "10:15:05.123", "15", "Reset", "", "", "", "", "", "", "", "00", "90", "00", "05",
         "4B 56 52 37 34", "0", "Proceso correcto", ""},
        {"2026-12-09", "10:15:06.123", "0", "Comando", "20", "00", "10", "00", "00", "00", "", "02", "", "", "", "",
         "Error desconocido -2147483646", "El puerto no existe, \"COM2\"", ""},
        {"2026-12-09", "10:15:07.123", "7", "Comando", "21", "00", "C0", "00", "00", "04", "", "00", "90", "00", "04",
         "6F 02 50 00", "Comando procesado correctamente", "Proceso correcto",
         "6F [2] Plantilla FCI; 50 [0] Etiqueta de aplicación: (\"\", vacía)"},
    };
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE("row " + std::to_string(i));
        EXPECT_EQ(rows[i], expected[i]);
    }
}

TEST_F(ExchangeHistoryText, SavedFilesReadBackEqualAndARefusedPathGivesTheReason) {
    ExchangeHistory history;
    for (const Exchange &e : {selectNotFound(), readBinary(), reset(), portGone()}) history.append(e);
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("kvr-history-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::string error;
    for (const char *name : {"historial.txt", "HISTORIAL.CSV", "historial.csv.txt"}) {
        SCOPED_TRACE(name);
        const std::filesystem::path path = folder / name;
        std::ofstream(path) << "something longer that was there before, and must go";
        ASSERT_TRUE(saveHistory(history, path.string(), error)) << error;
        EXPECT_EQ(readFile(path), wantsCsv(name) ? historyCsv(history) : historyText(history));
    }
    EXPECT_TRUE(wantsCsv("HISTORIAL.CSV"));
    EXPECT_FALSE(wantsCsv("historial.csv.txt"));
    EXPECT_FALSE(wantsCsv("csv"));

    EXPECT_FALSE(saveHistory(history, (folder / "missing" / "historial.txt").string(), error));
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_FALSE(saveHistory(history, folder.string(), error)) << "a folder is no file";
    EXPECT_EQ(error, "Is a directory");
    std::filesystem::remove_all(folder);
}

TEST_F(ExchangeHistoryText, TheLogGetsEveryExchangeAsItHappensAcrossSessions) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("kvr-log-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "sesiones.log").string();
    std::string error;
    {
        HistoryLog log;
        ASSERT_TRUE(log.open(path, kMorning, error)) << error;
        ASSERT_EQ(log.append(selectNotFound(), error), HistoryLog::Outcome::Written) << error;
        // On disk at once, before the log is closed.
        EXPECT_EQ(readFile(path), "Sesión 2026-12-09 10:15:03\n" + exchangeLines(selectNotFound()));
    }
    {
        HistoryLog log;
        ASSERT_TRUE(log.open(path, kMorning + 3600000, error)) << error;
        ASSERT_EQ(log.append(reset(), error), HistoryLog::Outcome::Written) << error;
    }
    EXPECT_EQ(readFile(path), "Sesión 2026-12-09 10:15:03\n" + exchangeLines(selectNotFound()) +
                                  "Sesión 2026-12-09 11:15:03\n" + exchangeLines(reset()));

    HistoryLog refused;
    EXPECT_FALSE(refused.open((folder / "no" / "such.log").string(), kMorning, error));
    EXPECT_FALSE(refused.isOpen());
    EXPECT_EQ(refused.append(reset(), error), HistoryLog::Outcome::Failed);
    std::filesystem::remove_all(folder);
}

#ifndef _WIN32  // FIFOs, /dev/full and permission bits
// Whatever [Historial] Archivo= names, the manager neither waits on it nor
// stops: a target that cannot be a log is refused at once with its reason,
// one that fails stops the log, and one that cannot take lines now (a FIFO
// whose reader stopped reading) drops them; each call returns at once.
TEST_F(ExchangeHistoryText, ALogTargetThatCannotTakeTheLogIsRefusedOrDroppedWithoutWaiting) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("kvr-hostile-log-" + std::to_string(getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string fifo = (folder / "fifo").string();
    common::UniqueFd reader;  // the FIFO's reader that stopped reading
    const struct Row {
        const char *what;
        std::function<std::string()> make;
        bool opens;                    // the session's first line went out
        HistoryLog::Outcome appended;  // what a write of an exchange then gives
        const char *reason;            // why it did not open, or why it stopped
        bool failsForRoot = true;
    } rows[] = {
        {"a FIFO without a reader",
         [&] {
             EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
             return fifo;
         },
         false, HistoryLog::Outcome::Failed, "es una FIFO que ningún programa lee"},
        {"a FIFO whose reader stopped reading",
         [&] {
             EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
             reader.reset(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK));
             return fifo;
         },
         true, HistoryLog::Outcome::Dropped, ""},
        {"a folder", [&] { return folder.string(); }, false, HistoryLog::Outcome::Failed, "es una carpeta"},
        {"a full device", [] { return std::string("/dev/full"); }, false, HistoryLog::Outcome::Failed,
         "No space left on device"},
        {"a missing folder", [&] { return (folder / "missing" / "historial.log").string(); }, false,
         HistoryLog::Outcome::Failed, "No such file or directory"},
        {"a read-only folder",
         [&] {
             std::filesystem::create_directory(folder / "read-only");
             std::filesystem::permissions(folder / "read-only",
                                          std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
             return (folder / "read-only" / "historial.log").string();
         },
         false, HistoryLog::Outcome::Failed, "Permission denied", false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        if (!row.failsForRoot && ::geteuid() == 0) {
            std::printf("skipped: %s (root may write in any folder)\n", row.what);
            continue;
        }
        std::filesystem::remove_all(fifo);
        const std::string path = row.make();
        const auto began = std::chrono::steady_clock::now();
        HistoryLog log;
        std::string error;
        EXPECT_EQ(log.open(path, kMorning, error), row.opens) << error;
        if (!row.opens) {
            EXPECT_EQ(error, row.reason);
        }
        // Far more than a pipe holds: a write that waited would never end.
        HistoryLog::Outcome last = HistoryLog::Outcome::Written;
        for (int i = 0; i < 5000 && last == HistoryLog::Outcome::Written; ++i) last = log.append(readBinary(), error);
        EXPECT_EQ(last, row.appended);
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count(), 5.0);
        if (reader) {
            // What the reader gets when it reads again is whole lines.
            std::string got;
            char buffer[65536];
            for (ssize_t n; (n = ::read(reader.get(), buffer, sizeof buffer)) > 0;)
                got.append(buffer, static_cast<std::size_t>(n));
            ASSERT_FALSE(got.empty());
            EXPECT_EQ(got.back(), '\n');
            EXPECT_EQ(log.append(readBinary(), error), HistoryLog::Outcome::Written);
        }
        reader.reset();
    }
    if (std::filesystem::exists(folder / "read-only"))
        std::filesystem::permissions(folder / "read-only", std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add);
    std::filesystem::remove_all(folder);
}

#else
// Windows has no FIFO that waits and no full device: a folder and a
// missing folder are refused at once with their reasons, and the null
// device takes every line.
TEST_F(ExchangeHistoryText, ALogTargetThatCannotBeALogIsRefusedWithItsReason) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("kvr-hostile-log-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const struct Row {
        const char *what;
        std::string path;
        bool opens;
        const char *reason;
    } rows[] = {
        {"a folder", folder.string(), false, "es una carpeta"},
        {"a missing folder", (folder / "missing" / "historial.log").string(), false, "No such file or directory"},
        {"the null device", "NUL", true, ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        HistoryLog log;
        std::string error;
        EXPECT_EQ(log.open(row.path, kMorning, error), row.opens) << error;
        if (!row.opens) {
            EXPECT_EQ(error, row.reason);
            EXPECT_EQ(log.append(readBinary(), error), HistoryLog::Outcome::Failed);
        } else {
            for (int i = 0; i < 100; ++i) ASSERT_EQ(log.append(readBinary(), error), HistoryLog::Outcome::Written);
        }
    }
    std::filesystem::remove_all(folder);
}
#endif

}  // namespace
}  // namespace kvr::session
