step "the LAN host list: one sweep of lscand, then its files"
show "$sim" exec lscand -r 5
# The first sweep comes at pass 5, about 4 s after start, and lasts about
# 10 s; the list is in place once /var/lscan_out is no longer empty.
for _ in $(seq 120); do
  [ -s "$ZEZARUR_SIM_STATE/var/lscan_out" ] && break
  sleep 0.5
done
router head -v -n 300 /var/run/lscand.pid /var/arpout /var/nbtout /var/lscan_out
show "$sim" calls
router sh -c 'kill $(cat /var/run/lscand.pid)'
