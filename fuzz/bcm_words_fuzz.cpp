// bcmMain on any command line: the input's lines are the words after the
// command name (at most eight).  The request goes to the simulated switch in
// a sandbox directory of the harness's own; reports go to /dev/null.
#include <zezarur/zezarur.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "sandbox.hpp"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    std::fclose(std::fopen((fuzzSandbox() + "/dev/bcm53xx").c_str(), "w"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 256) return -1;
    std::string line(reinterpret_cast<const char *>(data), size);
    std::string words[8];
    char *argv[10] = {const_cast<char *>("bcm")};
    int argc = 1;
    for (size_t at = 0; at <= line.size() && argc < 9;) {
        size_t end = line.find('\n', at);
        if (end == std::string::npos) end = line.size();
        words[argc - 1] = line.substr(at, end - at);  // may hold NULs: the word ends at the first
        argv[argc] = words[argc - 1].data();
        ++argc;
        at = end + 1;
    }
    int rc = bcmMain(argc, argv);
    if (rc != 0 && rc != -1) std::abort();
    // Each run from the initial switch; the log would grow by a line a run.
    unlink((fuzzSandbox() + "/switch.state").c_str());
    unlink((fuzzSandbox() + "/switch.log").c_str());
    return 0;
}
