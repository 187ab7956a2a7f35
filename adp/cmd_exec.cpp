#include <zezarur/adp.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

extern "C" int adpCmdExec(const char *command, const char *outputFile, int) {
    if (!command) return -1;
    std::fflush(nullptr);  // buffered output must not be written twice by the child
    pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        if (outputFile) {
            int fd = ::open(outputFile, O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0 || ::dup2(fd, STDOUT_FILENO) < 0) ::_exit(127);
            ::close(fd);
        }
        ::execl("/bin/sh", "sh", "-c", command, static_cast<char *>(nullptr));
        ::_exit(127);
    }
    int status;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : -1;
}
