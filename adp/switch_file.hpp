// The simulated switch's shared files: "<sandbox>/switch.state" (the model's
// text, switch_state.hpp) and the one-shot fault "<sandbox>/switch.fault",
// "NUMBER NAME": the errno the next request fails with and its name for the
// request log (the name comes with the number, as not every C library can
// name an errno).
#pragma once

#include "sim_file.hpp"
#include "switch_state.hpp"

namespace adp::sim::sw {

// The state file, locked while it is open, read whole; an empty file is a
// switch just powered on.
class StateFile {
public:
    bool read(State &s) const;
    bool write(const State &s) const;

private:
    LockedFile file_{"switch.state", true};
};

// A request's outcome as the request log names it.
struct Failure {
    int error = 0;
    char name[32] = "ok";
};
// The driver's own refusals: EINVAL, EFAULT, anything else EIO.
Failure failure(int error);

bool setFault(int error, const char *name);
// The fault, taken once; error 0 when none is set.
Failure takeFault();

}  // namespace adp::sim::sw
