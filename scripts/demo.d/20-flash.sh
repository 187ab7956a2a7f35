# The configuration flash store: the kernel's save signal compresses the text
# configuration and stores it in flash; sffs reports and restores it.
step "configuration flash store: blank flash"
router sffs
step "save the configuration when the kernel signals"
router sh -c 'printf "lan.ip=192.168.1.1\nwan.mode=dhcp\nddns.host=example.dyndns.org\n" > /var/orbrix.cfg.ascii'
router sh -c 'kdumpd > /var/log/kdumpd.out 2>&1'
show "$sim" signal kdump
for _ in $(seq 100); do "$sim" exec pgrep -x kdumpd >/dev/null || break; sleep 0.05; done
router cat /var/log/kdumpd.out
router sffs
step "restore it"
router sffs r /var/restored.cfg
router sh -c 'zcat /var/restored.cfg'
router sffs s /var/restored.cfg
