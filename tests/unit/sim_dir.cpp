#include "sim_dir.hpp"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <filesystem>
#include <sys/stat.h>

SimDir::SimDir(size_t flashSize) {
    char tmpl[] = "/tmp/zezarur-unit-XXXXXX";
    root_ = mkdtemp(tmpl);
    std::filesystem::create_directory(path("dev"));
    enum Backing { IMAGE, FIFO, EMPTY };
    struct Node {
        const char *name;
        Backing backing;
    };
    constexpr Node nodes[] = {
#define DEVICE(name, backing) {#name, backing},
#include "devices.def"
#undef DEVICE
    };
    for (const Node &n : nodes) {
        std::string node = path(std::string("dev/") + n.name);
        if (n.backing == IMAGE)
            std::ofstream(node, std::ios::binary) << std::string(flashSize, '\xff');
        else if (n.backing == FIFO)
            mkfifo(node.c_str(), 0600);
        else
            std::ofstream{node};
    }
    setenv("ZEZARUR_SIM", root_.c_str(), 1);
}

SimDir::~SimDir() {
    unsetenv("ZEZARUR_SIM");
    std::filesystem::remove_all(root_);
}

std::string SimDir::read(const std::string &name) const {
    std::ifstream in(path(name), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void SimDir::write(const std::string &name, const std::string &text) const {
    std::ofstream(path(name), std::ios::binary) << text;
}

std::vector<unsigned char> SimDir::flash() const {
    std::string s = read("dev/obxcfgC");
    return {s.begin(), s.end()};
}
