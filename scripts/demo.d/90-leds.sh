step "front-panel LEDs"
router ledTog 1 1
router ledTog 0 1
router ledTog 1 12
show "$sim" leds --events
