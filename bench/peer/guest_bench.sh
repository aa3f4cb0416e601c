# The benchmark's guest script (busybox sh, as root), run by tests/peer's
# /init. Every run sits between two syncs with the host ("b.<label>.<n>",
# "e.<label>.<n>"), so that the host's counting proxy can tell which IPMI
# requests the run sent; the run's wall time is taken here, from
# /proc/uptime (10 ms steps: every command takes 100s of ms under TCG).
#
# Prints "@@@ TIME <label> <n> <seconds> rc=<exit code>" a run.
. /peer/lib.sh

SRVFW=/opt/srvfw/bin/srvfw
RUNS=${PEER_RUNS:-5}

measure() {
  label=$1
  shift
  i=1
  while [ $i -le $RUNS ]; do
    sync_host "b.$label.$i"
    t0=$(cut -d' ' -f1 /proc/uptime)
    "$@" >/tmp/bench.out 2>/tmp/bench.err </dev/null
    rc=$?
    t1=$(cut -d' ' -f1 /proc/uptime)
    sync_host "e.$label.$i"
    echo "@@@ TIME $label $i $(echo "$t1 $t0" | awk '{printf "%.2f", $1 - $2}') rc=$rc"
    i=$((i + 1))
  done
  # The last run's output, for a look at what was measured.
  run "last.$label" cat /tmp/bench.out /tmp/bench.err
}

sync_open

# FreeIPMI reads the whole SDR repository into a new cache, then one
# record's sensor; with the cache kept, only the sensor.
freeipmi_new_cache() {
  rm -f /tmp/freeipmi.sdr
  ipmi-sensors --driver-type=OPENIPMI --sdr-cache-file=/tmp/freeipmi.sdr --quiet-cache \
    --record-ids="$PEER_SDR_FIRST"
}
freeipmi_cached() {
  ipmi-sensors --driver-type=OPENIPMI --sdr-cache-file=/tmp/freeipmi.sdr --quiet-cache \
    --record-ids="$PEER_SDR_FIRST"
}

note "phase ports"
# A FRU configuration file for "fru load": the library's start-up and a
# file parse, without reading the BMC's FRU.
$SRVFW fru save /tmp/saved.fru >/dev/null 2>&1 || note "fru save failed"
measure srvfw.help $SRVFW --help
measure srvfw.fru-load $SRVFW fru load /tmp/saved.fru
measure srvfw.show.ports $SRVFW fru show
measure ipmi-fru.kcs ipmi-fru --driver-type=KCS --driver-address=$PEER_KCS --ignore-sdr-cache
measure srvfw.sdr-save.ports $SRVFW sdr save /tmp/bench.sdr

note "phase driver"
insmod /modules/ipmi_msghandler.ko
insmod /modules/ipmi_si.ko
insmod /modules/ipmi_devintf.ko
wait_for /dev/ipmi0 30 || note "no /dev/ipmi0"
wait_for_bmc 30
measure srvfw.show.driver $SRVFW fru show
measure ipmitool.version ipmitool -V
measure ipmitool.fru ipmitool -I open fru print 0
measure ipmi-fru.driver ipmi-fru --driver-type=OPENIPMI --ignore-sdr-cache
measure srvfw.sdr-save.driver $SRVFW sdr save /tmp/bench.sdr
measure ipmitool.sdr-dump ipmitool -I open sdr dump /tmp/ipmitool.sdr
measure ipmi-sensors.sdr-cache freeipmi_new_cache
measure ipmi-sensors.cached freeipmi_cached
exit 0
