step "Ethernet switch: forwarding map, port-to-port forwarding, MIB counters"
router bcm vlan show
router bcm portvlan fwddisable 1 5
router bcm vlan show
show "$sim" switch traffic 2 100 --size 512
router bcm mib get 2
show "$sim" switch log
