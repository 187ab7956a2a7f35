// What backs each node of devices.def in the sandbox directory: libadp's
// drivers and the unit tests' sandbox directory read the list alike.
#pragma once

namespace adp::sim {

enum Backing { IMAGE, FIFO, EMPTY };

}  // namespace adp::sim
