// Cost of opening a keyed file and reading a 20-row page from the middle of
// its key order: a 10,000-record file against a 100-record one.  Goal: the
// large file costs less than 3 times the small one.  The ratio of medians is
// taken in several runs; the verdict holds only when all runs agree.
//
// Usage: keyed_file_bench [ROUNDS_PER_RUN [RUNS]]   (default 300 rounds, 5 runs)
#include "runtime/keyed_file/keyed_file.h"
#include "support/spread.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

using kvr::runtime::KeyedFile;
using kvr::runtime::KeyedLayout;

namespace {

const KeyedLayout kLayout{"COMMANDS", 184, 0, 10};

std::string cardName(int i) {
    char text[16];
    std::snprintf(text, sizeof text, "card%05d", i / 5);  // five commands per card
    return text;
}

bool build(const std::string &name, int records) {
    KeyedFile f(kLayout, name);
    if (f.create() != 0 || f.open(0x42) != 0 || f.beginTransaction() != 0) return false;
    // Added in scattered order, so that key order and record order differ.
    for (int n = 0; n < records; ++n) {
        int i = static_cast<int>((static_cast<long long>(n) * 7919) % records);
        auto &b = f.buffer();
        b.assign(184, ' ');
        std::string card = cardName(i);
        std::memcpy(b.data(), card.data(), card.size());
        std::string cmd = "command " + std::to_string(i);
        std::memcpy(b.data() + 10, cmd.data(), cmd.size());
        if (f.add() != 0) return false;
    }
    return f.commit() == 0 && f.close() == 0;
}

// Median microseconds of: open, set to the middle card, read 20 rows, close.
double pageCost(const std::string &name, int records, int rounds) {
    std::vector<double> samples;
    const std::string middle = cardName(records / 2);
    for (int r = 0; r < rounds; ++r) {
        auto start = std::chrono::steady_clock::now();
        KeyedFile f(kLayout, name);
        if (f.open(0x42) != 0 || f.setFromKey(middle) != 0) std::exit(1);
        for (int row = 0; row < 20; ++row)
            if (f.next() != 0) std::exit(1);
        f.close();
        samples.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

}  // namespace

int main(int argc, char **argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 300;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    if (rounds < 1 || runs < 1) {
        std::fprintf(stderr, "usage: %s [ROUNDS_PER_RUN [RUNS]]\n", argv[0]);
        return 2;
    }
    auto folder = std::filesystem::temp_directory_path() / ("kvr-keyed-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string small = (folder / "SMALL").string(), large = (folder / "LARGE").string();
    if (!build(small, 100) || !build(large, 10000)) {
        std::fprintf(stderr, "cannot build the files: %s\n", kvr::runtime::keyedErrorText().c_str());
        return 1;
    }
    pageCost(small, 100, 20);  // warm the caches
    pageCost(large, 10000, 20);
    std::vector<double> costsSmall, costsLarge, ratios;
    for (int run = 0; run < runs; ++run) {
        costsSmall.push_back(pageCost(small, 100, rounds));
        costsLarge.push_back(pageCost(large, 10000, rounds));
        ratios.push_back(costsLarge.back() / costsSmall.back());
    }
    using kvr::bench::spreadOf;
    using kvr::bench::spreadText;
    const kvr::bench::Spread ratio = spreadOf(ratios);
    std::printf("open + 20-row page from the middle: median of %d rounds, in %d runs\n", rounds, runs);
    std::printf("(median run, lowest-highest run in brackets)\n");
    std::printf("  100 records:    %s\n", spreadText(spreadOf(costsSmall), 1, " us").c_str());
    std::printf("  10,000 records: %s\n", spreadText(spreadOf(costsLarge), 1, " us").c_str());
    std::printf("  ratio:          %s\n", spreadText(ratio, 2, "").c_str());
    std::printf("goal: ratio under 3; %s\n", kvr::bench::verdictBelow(ratio, 3.0));
    std::filesystem::remove_all(folder);
    return 0;
}
