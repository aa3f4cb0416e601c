# Helpers of the guest scripts (busybox sh). Sourced, not run.
#
# Results go to the console as blocks the host parses:
#   @@@ BEGIN <id> rc=<exit code>
#   @@@ ARGV <the command line>
#   @@@ STDOUT
#   <standard output, base64>
#   @@@ STDERR
#   <standard error, base64>
#   @@@ END <id>
# base64 keeps the bytes exact (the host checks that stdout holds nothing
# but a JSON document) and survives the console's CR/LF translation.

SRVFW=/opt/srvfw/bin/srvfw

run() {
  id=$1
  shift
  "$@" >/tmp/run.out 2>/tmp/run.err </dev/null
  rc=$?
  echo "@@@ BEGIN $id rc=$rc"
  echo "@@@ ARGV $*"
  echo "@@@ STDOUT"
  base64 /tmp/run.out
  echo "@@@ STDERR"
  base64 /tmp/run.err
  echo "@@@ END $id"
  return $rc
}

# A file's bytes as a block of its own (no command ran).
dump_file() {
  echo "@@@ BEGIN $1 rc=0"
  echo "@@@ ARGV cat $2"
  echo "@@@ STDOUT"
  base64 "$2" 2>/dev/null
  echo "@@@ STDERR"
  echo "@@@ END $1"
}

note() {
  echo "@@@ NOTE $* (at $(cut -d' ' -f1 /proc/uptime) s)"
}

# The host listens on the second serial port (ttyS1): "SYNC <tag>" asks it
# to do its part (e.g. read the FRU over the LAN) and the guest waits for
# "DONE <tag>". The port stays open (fd 3) for the whole script so that a
# reply arriving before the read is not dropped by a closed tty.
sync_open() {
  stty -F /dev/ttyS1 115200 raw -echo 2>/dev/null
  exec 3<>/dev/ttyS1
}

sync_host() {
  echo "SYNC $1" >&3
  while read -r reply <&3; do
    reply=$(echo "$reply" | tr -d '\r')
    [ "$reply" = "DONE $1" ] && { note "synced $1"; return 0; }
  done
  note "sync $1 lost"
  return 1
}

# Waits up to $2 seconds for a path to exist.
wait_for() {
  n=0
  while [ ! -e "$1" ]; do
    n=$((n + 1))
    [ $n -gt $(($2 * 10)) ] && return 1
    usleep 100000
  done
  return 0
}

# Waits up to $1 seconds for the kernel's IPMI driver to have brought up a
# BMC (ipmi_si registers the ipmi_bmc platform device once Get Device ID
# answered).
wait_for_bmc() {
  n=0
  while ! ls /sys/bus/platform/devices/ 2>/dev/null | grep -q '^ipmi_bmc'; do
    n=$((n + 1))
    [ $n -gt $(($1 * 10)) ] && return 1
    usleep 100000
  done
  return 0
}

load_module() {
  run "insmod.$1" insmod "/modules/$1.ko" $2
}
