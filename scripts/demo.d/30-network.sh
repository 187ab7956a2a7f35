step "the sandbox's network: router, ISP side, LAN hosts, service host"
show "$sim" net
step "switch the ISP side at run time, and ask it with real clients"
show "$sim" isp pppoe,bigpond=BIGPOND.example,pptp
router pppoe-discovery -I wan0 -t 1 -a 1
router arping -I wan0 -c 1 -w 1 10.0.0.138
show "$sim" isp none
show "$sim" isp show
router arping -I wan0 -c 1 -w 1 10.0.0.138
step "the LAN hosts by NetBIOS"
router nbtscan -q 192.168.1.0/24
