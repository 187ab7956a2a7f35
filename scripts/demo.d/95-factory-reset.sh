step "factory-default button: flash the Test LED, restore defaults, reboot"
router sh -c 'fReset > /var/log/freset.out 2>&1'
show "$sim" press
for _ in $(seq 200); do "$sim" exec pgrep -x fReset >/dev/null || break; sleep 0.05; done
show "$sim" leds --timeline
show "$sim" calls
router grep "factory defaults" /var/log/messages
