#include "sim_dir.hpp"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

#include "device_backing.hpp"

SimDir::SimDir(size_t flashSize) {
    char tmpl[] = "/tmp/zezarur-unit-XXXXXX";
    root_ = mkdtemp(tmpl);
    std::filesystem::create_directory(path("dev"));
    using enum adp::sim::Backing;
    const std::pair<const char *, adp::sim::Backing> nodes[] = {
#define DEVICE(name, backing, driver) {#name, backing},
#include "devices.def"
#undef DEVICE
    };
    for (auto [name, backing] : nodes) {
        std::string node = path(std::string("dev/") + name);
        if (backing == FIFO)
            mkfifo(node.c_str(), 0600);
        else
            write(std::string("dev/") + name, std::string(backing == IMAGE ? flashSize : 0, '\xff'));
    }
    setenv("ZEZARUR_SIM", root_.c_str(), 1);
}

SimDir::~SimDir() {
    unsetenv("ZEZARUR_SIM");
    std::filesystem::remove_all(root_);
}

std::string SimDir::read(const std::string &name) const {
    std::ifstream in(path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void SimDir::write(const std::string &name, const std::string &text) const {
    std::ofstream(path(name), std::ios::binary) << text;
}
