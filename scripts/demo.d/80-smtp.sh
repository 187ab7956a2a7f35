# Mail alerts: the security log mailed with a CRAM-MD5 login to the
# sandbox's mail server, and the message as the server stored it.
step "mail the security log (smtp, CRAM-MD5)"
mailbox=$ZEZARUR_SIM_STATE/mailbox
show "$sim" service add mail 25 /usr/bin/python3 sim/servers/smtp_server.py 25 "$mailbox" alarm:s3cret
router sh -c 'mkdir -p /var/log/securityall && printf "%s\n" \
  "Dec  6 22:01:13 router kernel: DROP IN=wan0 SRC=198.51.100.7 DST=203.0.113.2 PROTO=TCP DPT=23" \
  "Dec  6 22:01:15 router kernel: DROP IN=wan0 SRC=198.51.100.7 DST=203.0.113.2 PROTO=TCP DPT=2323" \
  > /var/log/securityall/current'
router smtp i mail.example t admin@example.net s "Router security log" f router@example.net c C 25 u alarm P s3cret
step "the message as the mail server received it"
show cat "$mailbox/1.eml"
show cat "$mailbox/1.json"

step "mail the security log through Exim with STARTTLS (certificate from the sandbox's authority)"
exim=${ZEZARUR_EXIM:-build/exim/usr/sbin/exim4}
mkdir -p "$ZEZARUR_SIM_STATE/exim"
read -r chain key < <("$sim" cert mail.example)
show "$sim" service add exim 587 /usr/bin/python3 sim/servers/smtp_exim.py "$exim" \
  "$ZEZARUR_SIM_STATE/exim" alarm:s3cret "$chain" "$key"
router smtp i mail.example t admin@example.net s "Router security log" f router@example.net S c C 587 u alarm P s3cret
step "Exim's log: the message came in over TLS (X=...)"
show grep -F " <= " "$ZEZARUR_SIM_STATE/exim/log/mainlog"
