"""zezarur-sim, the sandboxed router: core (state, life cycle, plugins),
init (PID 1 inside), devices (the router's devices from outside), cli."""
