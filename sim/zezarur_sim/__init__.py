"""zezarur-sim, the sandboxed router: core (state, files, entering, stopping),
lifecycle (starting), init (PID 1 inside), roles (net, isp, lan, services,
capture, switch, clock, oray), devices (the router's devices from outside),
plan (the address plan and host names), definitions (the applets and
device nodes of the .def files) and cli."""
