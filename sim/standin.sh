#!/bin/sh
# Stand-in for one of the firmware's own commands: records the call in
# $ZEZARUR_SIM/calls.log, prints the configured output and exits with the
# configured status (zezarur-sim standin NAME ...).  A command whose effect
# others rely on has it done by standin.d/NAME, when it succeeds.
name=${0##*/}
conf=$ZEZARUR_SIM/standin/$name
printf '%s %s\n' "$(date +%s.%N)" "$name${*:+ $*}" >> "$ZEZARUR_SIM/calls.log"
[ -f "$conf.out" ] && cat "$conf.out"
status=$(cat "$conf.exit" 2>/dev/null || echo 0)
effect=$(dirname "$(readlink -f "$0")")/standin.d/$name
[ "$status" = 0 ] && [ -x "$effect" ] && "$effect" "$@"
exit "$status"
