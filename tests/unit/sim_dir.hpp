// A temporary sandbox directory for in-process tests: ZEZARUR_SIM points at
// it while the object lives, with the device nodes the drivers expect.
#pragma once

#include <string>
#include <vector>

class SimDir {
public:
    explicit SimDir(size_t flashSize = 1 << 20);
    ~SimDir();
    SimDir(const SimDir &) = delete;
    SimDir &operator=(const SimDir &) = delete;

    std::string path(const std::string &name) const { return root_ + "/" + name; }
    std::string read(const std::string &name) const;
    void write(const std::string &name, const std::string &text) const;
    std::vector<unsigned char> bytes(const std::string &name = "dev/obxcfgC") const {
        std::string s = read(name);
        return {s.begin(), s.end()};
    }

private:
    std::string root_;
};
