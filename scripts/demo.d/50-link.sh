# ISP connection-type detection: one run of link against an ISP side that
# offers everything; the per-frame trace lines are left out, the exit status
# is the flag word (31: all five kinds).
step "which kinds of Internet access answer on wan0 (link sleeps 8 s)"
show "$sim" isp pppoe,bigpond=nsw.bigpond.example,spoof,pptp
router sh -c 'link wan0 >/var/tmp/link.out 2>&1; s=$?
  grep -v "^ \|^length\|^recving\|^recv:" /var/tmp/link.out; exit $s'
show "$sim" isp none
