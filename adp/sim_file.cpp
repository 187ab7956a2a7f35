#include "sim_file.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "sim.hpp"

namespace adp::sim {

LockedFile::LockedFile(const char *name, bool create) {
    char p[PATH_MAX];
    if (!path(p, name)) return;
    fd_ = ::open(p, O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0644);
    if (fd_ >= 0) ::flock(fd_, LOCK_EX);
}

LockedFile::~LockedFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool LockedFile::replace(const char *text, size_t length) const {
    return ::ftruncate(fd_, 0) == 0 && ::pwrite(fd_, text, length, 0) == static_cast<ssize_t>(length);
}

void appendLine(const char *name, const char *text, size_t length, bool create) {
    char p[PATH_MAX];
    if (!path(p, name)) return;
    int fd = ::open(p, O_WRONLY | O_APPEND | O_CLOEXEC | (create ? O_CREAT : 0), 0644);
    if (fd < 0) return;
    (void)!::write(fd, text, length);
    ::close(fd);
}

}  // namespace adp::sim
