// The Oray client of the platform, as the sandbox scripts it: no protocol is
// spoken; "<sandbox>/oray" (oray_script.hpp) says how the calls answer, and
// every call is appended to "<sandbox>/oray.calls" with its arguments.
// Outside a sandbox there is no web service: logins fail.
#include <zezarur/adp.h>

#include <arpa/inet.h>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "oray_script.hpp"
#include "sim_file.hpp"

namespace {

using adp::sim::oray::Script;
using adp::sim::oray::ScriptFile;

struct Handle {
    int type;
};

// The script; a login that consumes one of N counted failures writes the
// count back, under the lock, since every process of the sandbox shares it.
bool script(Script &s, bool login) {
    ScriptFile file;
    if (!file.valid()) return false;
    s = file.script();
    if (login && s.loginFailures > 0) {
        --file.script().loginFailures;
        file.save();
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
