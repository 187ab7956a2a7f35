"""The lists the library and libadp keep in .def files, read for the Python
side (the sandbox and the tests) from the tree around this package, which an
install keeps in the same shape: the applets (src/applets.def) and the
router's device nodes with their backing (adp/devices.def).  Run as a
program, it prints the applets one a line, for shell scripts."""

import os
import re

SRC_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def entries(path, macro):
    """The arguments of each `MACRO(a, b, ...)` line of the .def file at path in the tree."""
    with open(os.path.join(SRC_DIR, path)) as f:
        return [re.split(r",\s*", args) for args in re.findall(rf"^{macro}\((.*)\)", f.read(), re.M)]


APPLETS = [name for name, in entries("src/applets.def", "APPLET")]
DEVICES = {node: backing for node, backing, _driver in entries("adp/devices.def", "DEVICE")}

if __name__ == "__main__":
    print(*APPLETS, sep="\n")
