// The Oray client of the platform, as the sandbox scripts it: no protocol is
// spoken.  "<sandbox>/oray" says how the next calls answer (written by
// `zezarur-sim oray`), one "KEY VALUE" per line:
//   login ok | fail | fail:N   (N failures, then ok)
//   type N                     account type stored by a login
//   register ok | fail
//   keepalive N                what udpTimer returns
// and every call is appended to "<sandbox>/oray.calls" with its arguments.
// Outside a sandbox there is no web service: logins fail.
#include <zezarur/adp.h>

#include <arpa/inet.h>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "sim_file.hpp"

namespace {

struct Script {
    int loginFailures = 0;  // -1: every login fails
    int type = 0;
    bool registers = true;
    int keepAlive = 1;
};

struct Handle {
    int type;
};

// Parses the script; a missing file or key keeps the default.
Script parse(const char *text) {
    Script s;
    char key[16], value[16];
    for (const char *line = text; line && std::sscanf(line, "%15s %15s", key, value) == 2;
         line = std::strchr(line, '\n'), line = line ? line + 1 : nullptr) {
        if (!std::strcmp(key, "login"))
            s.loginFailures = !std::strcmp(value, "fail") ? -1
                              : !std::strncmp(value, "fail:", 5) ? std::atoi(value + 5)
                                                                  : 0;
        else if (!std::strcmp(key, "type"))
            s.type = std::atoi(value);
        else if (!std::strcmp(key, "register"))
            s.registers = std::strcmp(value, "fail") != 0;
        else if (!std::strcmp(key, "keepalive"))
            s.keepAlive = std::atoi(value);
    }
    return s;
}

// Reads the script; a login that consumes one of N counted failures writes
// the count back, under a lock, since every process of the sandbox shares it.
bool script(Script &s, bool login) {
    adp::sim::LockedFile file("oray", true);
    if (!file.valid()) return false;
    char text[256] = {};
    (void)!::pread(file.fd(), text, sizeof text - 1, 0);
    s = parse(text);
    if (login && s.loginFailures > 0) {
        int n = std::snprintf(text, sizeof text, "login fail:%d\ntype %d\nregister %s\nkeepalive %d\n",
                              s.loginFailures - 1, s.type, s.registers ? "ok" : "fail",
                              s.keepAlive);
        file.replace(text, static_cast<size_t>(n));
    }
    return true;
}

// One line of "<sandbox>/oray.calls", written at once.
__attribute__((format(printf, 1, 2))) void logCall(const char *format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(line, sizeof line - 1, format, args);
    va_end(args);
    if (n < 0) return;
    size_t len = static_cast<size_t>(n) < sizeof line - 1 ? static_cast<size_t>(n) : sizeof line - 2;
    line[len++] = '\n';
    adp::sim::appendLine("oray.calls", line, len);
}

struct Dotted {
    char text[INET_ADDRSTRLEN];
    explicit Dotted(unsigned int address) {
        in_addr a{address};
        ::inet_ntop(AF_INET, &a, text, sizeof text);
    }
};

int writeText(const char *path, const char *text) {
    FILE *f = std::fopen(path, "we");
    if (!f) return -1;
    int result = std::fputs(text, f) < 0 ? -1 : 0;
    return std::fclose(f) != 0 ? -1 : result;
}

}  // namespace

extern "C" {

int orayDdnsUpdate(const char *path, const char *text) {
    logCall("orayDdnsUpdate %s %s", path, text);
    return writeText(path, text);
}

void *oraywebsvcMain(const char *username, const char *passwd, int *type, unsigned int address,
                     const char *host, const char *statusPath) {
    logCall("oraywebsvcMain %s %s %s %s %s", username, passwd, Dotted(address).text, host,
            statusPath);
    Script s;
    if (!script(s, true) || s.loginFailures != 0) return nullptr;
    auto *h = static_cast<Handle *>(std::malloc(sizeof(Handle)));
    if (!h) return nullptr;
    h->type = s.type;
    *type = s.type;
    return h;
}

int updatednsipMain(void *handle, int port, const char *username, const char *passwd,
                    unsigned int address, int index, const char *statusPath,
                    const char *domainsPath) {
    logCall("updatednsipMain %d %s %s %s %d %s %s", port, username, passwd, Dotted(address).text,
            index, statusPath, domainsPath);
    Script s;
    if (!handle || !script(s, false) || !s.registers) return -1;
    int type = static_cast<const Handle *>(handle)->type;
    if (type == 0 || type == 1) {
        char domains[128];
        std::snprintf(domains, sizeof domains, "%.100s.oray.example\n", username);
        writeText(domainsPath, domains);
    }
    return 0;
}

int udpTimer(void *handle, int type, unsigned int address, int index, const char *statusPath) {
    logCall("udpTimer %d %s %d %s", type, Dotted(address).text, index, statusPath);
    Script s;
    if (!handle || !script(s, false)) return -1;
    return s.keepAlive;
}

}  // extern "C"
