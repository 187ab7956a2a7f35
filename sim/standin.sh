#!/bin/sh
# Stand-in for one of the firmware's own commands: records the call in
# $ZEZARUR_SIM/calls.log, prints the configured output and exits with the
# configured status (zezarur-sim standin NAME ...).
name=${0##*/}
conf=$ZEZARUR_SIM/standin/$name
printf '%s %s\n' "$(date +%s.%N)" "$name${*:+ $*}" >> "$ZEZARUR_SIM/calls.log"
[ -f "$conf.out" ] && cat "$conf.out"
exit "$(cat "$conf.exit" 2>/dev/null || echo 0)"
