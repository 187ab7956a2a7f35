// The simulated switch's shared files: "<sandbox>/switch.state" (the model's
// text, switch_state.hpp) and the one-shot fault "<sandbox>/switch.fault",
// an errno number that the next request fails with.
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

bool setFault(int error);
// The fault, taken once; 0 when none is set.
int takeFault();

}  // namespace adp::sim::sw
