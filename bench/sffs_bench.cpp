// Store and restore of the largest file (0x7FFF8 bytes) through the simulated
// NOR flash, against the same bytes copied into and out of a plain file in
// 512-byte steps.
#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "sim_dir.hpp"

namespace {

constexpr int largest = 0x7FFF8;

// The store's progress lines would swamp the report.
class QuietStdout {
public:
    QuietStdout() : saved_(dup(STDOUT_FILENO)) {
        std::fflush(stdout);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    ~QuietStdout() {
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
    }
    QuietStdout(const QuietStdout &) = delete;
    QuietStdout &operator=(const QuietStdout &) = delete;

private:
    int saved_;
};

struct Setup {
    SimDir sim;
    int in, out;
    Setup() {
        sim.write("in", std::string(largest, 'c'));
        in = adpOpen(sim.path("in").c_str(), 0, 0);
        out = adpOpen(sim.path("out").c_str(), 0x242, 0600);
        flash = adpOpen("/dev/obxcfgC", 2, 0600);
    }
    ~Setup() {
        adpClose(flash);
        flash = -1;
        adpClose(in);
        adpClose(out);
    }
};

void BM_SffsStore(benchmark::State &state) {
    Setup s;
    QuietStdout quiet;
    for (auto _ : state)
        if (sffsWrite(s.in) != 0) state.SkipWithError("store failed");
    state.SetBytesProcessed(state.iterations() * largest);
}
BENCHMARK(BM_SffsStore)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SffsRestore(benchmark::State &state) {
    Setup s;
    QuietStdout quiet;
    if (sffsWrite(s.in) != 0) state.SkipWithError("store failed");
    for (auto _ : state) {
        adpLseek(s.out, 0, 0);
        if (sffsRead(s.out) != 0) state.SkipWithError("restore failed");
    }
    state.SetBytesProcessed(state.iterations() * largest);
}
BENCHMARK(BM_SffsRestore)->Unit(benchmark::kMillisecond)->UseRealTime();

// The peer: the same bytes through a plain file, 512 bytes a step.
void BM_PlainFileCopy(benchmark::State &state) {
    Setup s;
    int plain = adpOpen(s.sim.path("plain").c_str(), 0x242, 0600);
    char buf[512];
    for (auto _ : state) {
        adpLseek(s.in, 0, 0);
        adpLseek(plain, 0, 0);
        for (int n; (n = adpRead(s.in, buf, sizeof buf)) > 0;) adpWrite(plain, buf, n);
        adpLseek(plain, 0, 0);
        adpLseek(s.out, 0, 0);
        for (int n; (n = adpRead(plain, buf, sizeof buf)) > 0;) adpWrite(s.out, buf, n);
    }
    adpClose(plain);
    state.SetBytesProcessed(state.iterations() * largest * 2);
}
BENCHMARK(BM_PlainFileCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
