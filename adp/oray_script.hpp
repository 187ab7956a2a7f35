// How the platform's Oray client answers in the sandbox: "<sandbox>/oray",
// one "KEY VALUE" per line, written by `zezarur-sim oray` and read by every
// call (a missing file or key keeps the default):
//   login ok | fail | fail:N   (N failures, then ok)
//   type N                     account type stored by a login
//   register ok | fail
//   keepalive N                what udpTimer returns
#pragma once

#include <cstddef>

#include "sim_file.hpp"

namespace adp::sim::oray {

struct Script {
    int loginFailures = 0;  // -1: every login fails
    int type = 0;
    bool registers = true;
    int keepAlive = 1;
};

// Sets one key of the script from its value word; false for an unknown key
// or a value the key does not take.
bool set(Script &s, const char *key, const char *value);

// The script's canonical text into text (size bytes): its length, or -1.
int format(const Script &s, char *text, size_t size);

// The shared script, read under its lock, held until destruction.
class ScriptFile {
public:
    ScriptFile();
    bool valid() const { return file_.valid(); }
    Script &script() { return script_; }
    bool save() const;

private:
    LockedFile file_;
    Script script_;
};

}  // namespace adp::sim::oray
