// Files of the sandbox directory that several processes share: the drivers'
// state files are read and rewritten under an exclusive lock, their logs
// appended to with one write per line.
#pragma once

#include <cstddef>

namespace adp::sim {

// "<sandbox>/<name>" opened read-write and locked until destruction; not
// valid when there is no sandbox or the file cannot be opened.
class LockedFile {
public:
    LockedFile(const char *name, bool create);
    ~LockedFile();
    LockedFile(const LockedFile &) = delete;
    LockedFile &operator=(const LockedFile &) = delete;

    int fd() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Replaces the whole content.
    bool replace(const char *text, size_t length) const;

private:
    int fd_ = -1;
};

// Appends one line (or several) to "<sandbox>/<name>" in a single write;
// when create is false, only to a file that is there (a log a test asks for).
void appendLine(const char *name, const char *text, size_t length, bool create = true);

}  // namespace adp::sim
