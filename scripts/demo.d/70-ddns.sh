step "dynamic DNS: ddns registers the WAN address with a DynDNS-protocol server"
ddns_dir=$ZEZARUR_SIM_STATE/ddns-demo
mkdir -p "$ddns_dir"
printf 'HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\ngood 203.0.113.2' > "$ddns_dir/answer"
show "$sim" service add dyndns-peer 80 python3 "$PWD/sim/servers/ddns_peer.py" 80 \
  "$ddns_dir/answer" "$ddns_dir/requests"
printf '4\tdyndns\thome.example.org\talice\tsecret\t3600\tNO\n' > "$ZEZARUR_SIM_STATE/var/ddnsclient.conf"
router ddns b
for _ in $(seq 100); do
  grep -q updated "$ZEZARUR_SIM_STATE/var/run/ddnsStatus4" 2>/dev/null && break
  sleep 0.1
done
router cat /var/run/ddnsStatus4
router sh -c 'kill $(cat /var/run/ddnsclient.pid)'
python3 -c 'import json,sys; print(json.loads(open(sys.argv[1]).readline())["request"], end="")' \
  "$ddns_dir/requests"
"$sim" log | grep ' ddns: ' | tail -4
show "$sim" service del dyndns-peer
