// A sandbox directory for the fuzz targets that reach the simulated devices:
// ZEZARUR_SIM points at it, with its dev/ folder; in memory where there is a
// tmpfs (every run goes through its files) and removed at exit.  Standard
// output, where the applets report, goes to /dev/null.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

inline const std::string &fuzzSandbox() {
    static const std::string dir = [] {
        char path[] = "/dev/shm/zezarur-fuzz-XXXXXX", fallback[] = "/tmp/zezarur-fuzz-XXXXXX";
        if (!mkdtemp(path) && !mkdtemp(std::strcpy(path, fallback))) std::abort();
        std::filesystem::create_directory(std::string(path) + "/dev");
        setenv("ZEZARUR_SIM", path, 1);
        if (!std::freopen("/dev/null", "w", stdout)) std::abort();
        return std::string(path);
    }();
    static const bool removedAtExit = !std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(fuzzSandbox(), ignored);
    });
    (void)removedAtExit;
    return dir;
}
