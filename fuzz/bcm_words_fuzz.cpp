// bcmMain on any command line: the input's lines are the words after the
// command name (at most eight).  The request goes to the simulated switch in
// a sandbox directory of the harness's own; reports go to /dev/null.
#include <zezarur/zezarur.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <unistd.h>

#include "sandbox.hpp"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    std::fclose(std::fopen((fuzzSandbox() + "/dev/bcm53xx").c_str(), "w"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 256) return -1;
    std::istringstream lines(std::string(reinterpret_cast<const char *>(data), size));
    std::string words[8];  // a word may hold NULs: it ends at the first
    char *argv[10] = {const_cast<char *>("bcm")};
    int argc = 1;
    while (argc < 9 && std::getline(lines, words[argc - 1])) argv[argc] = words[argc - 1].data(), ++argc;
    if (int rc = bcmMain(argc, argv); rc != 0 && rc != -1) std::abort();
    // Each run from the initial switch; the log would grow by a line a run.
    for (const char *file : {"/switch.state", "/switch.log"}) unlink((fuzzSandbox() + file).c_str());
    return 0;
}
