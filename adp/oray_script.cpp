#include "oray_script.hpp"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace adp::sim::oray {
namespace {

bool integer(const char *word, int &out) {
    char *end;
    errno = 0;
    const long v = std::strtol(word, &end, 10);
    if (end == word || *end || errno || v < INT_MIN || v > INT_MAX) return false;
    out = static_cast<int>(v);
    return true;
}

}  // namespace

bool set(Script &s, const char *key, const char *value) {
    if (!std::strcmp(key, "login")) {
        if (!std::strcmp(value, "ok")) return s.loginFailures = 0, true;
        if (!std::strcmp(value, "fail")) return s.loginFailures = -1, true;
        int n;
        if (std::strncmp(value, "fail:", 5) != 0 || !integer(value + 5, n) || n < 0) return false;
        return s.loginFailures = n, true;
    }
    if (!std::strcmp(key, "type")) return integer(value, s.type);
    if (!std::strcmp(key, "keepalive")) return integer(value, s.keepAlive);
    if (!std::strcmp(key, "register") && (!std::strcmp(value, "ok") || !std::strcmp(value, "fail")))
        return s.registers = !std::strcmp(value, "ok"), true;
    return false;
}

int format(const Script &s, char *text, size_t size) {
    char login[16] = "ok";
    if (s.loginFailures < 0)
        std::strcpy(login, "fail");
    else if (s.loginFailures > 0)
        std::snprintf(login, sizeof login, "fail:%d", s.loginFailures);
    const int n = std::snprintf(text, size, "login %s\ntype %d\nregister %s\nkeepalive %d\n", login,
                                s.type, s.registers ? "ok" : "fail", s.keepAlive);
    return n < 0 || static_cast<size_t>(n) >= size ? -1 : n;
}

ScriptFile::ScriptFile() : file_("oray", true) {
    if (!file_.valid()) return;
    char text[256] = {};
    (void)!::pread(file_.fd(), text, sizeof text - 1, 0);
    char key[16], value[16];
    for (const char *line = text; line && std::sscanf(line, "%15s %15s", key, value) == 2;
         line = std::strchr(line, '\n'), line = line ? line + 1 : nullptr)
        set(script_, key, value);  // a line it cannot read keeps the default
}

bool ScriptFile::save() const {
    char text[256];
    const int n = format(script_, text, sizeof text);
    return n > 0 && file_.replace(text, static_cast<size_t>(n));
}

}  // namespace adp::sim::oray
