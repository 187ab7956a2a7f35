// Flash fault injection, set by the sandbox in "<sandbox>/flash.fault":
//   "write N"  the Nth write from now fails with EIO
//   "erase N"  the Nth erase from now fails with EIO
//   "cut N"    power is cut once N more bytes have been written or erased
// The file is shared by every process of the sandbox; a fault that fires is
// removed.
#pragma once

namespace adp::sim {

enum class FlashOp { write, erase };

struct FaultVerdict {
    bool fail = false;  // refuse the whole operation with EIO
    bool cut = false;   // move only `allowed` bytes, then die
    long allowed = 0;
};

FaultVerdict takeFlashFault(FlashOp op, long bytes);

// Sets the fault ("write", "erase" with N of 1 or more, "cut" with N of 0 or
// more), or with a null kind clears it; false for a fault it cannot set.
bool setFlashFault(const char *kind, long n);

// Kills the process at once, as a power cut would.
[[noreturn]] void cutPower();

}  // namespace adp::sim
