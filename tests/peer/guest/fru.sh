# The BMC scenario, run by /init in the guest (busybox sh, as root): the
# FRU reads and writes of this file and the SDR reads of sdr.sh.
#
# /peer/scenario.env gives:
#   PEER_KCS        the KCS base the BMC was given (0xca2 or 0xca8)
#   PEER_FIELDS     the fields "srvfw fru get" reads
#   PEER_SET        FIELD=VALUE for "srvfw fru set"; empty: no writing
#   PEER_WRITE_OVER "kcs" or "driver": which phase writes
#
# Phases, in this order because a loaded ipmi_si cannot be taken back out
# cleanly while it owns the interface:
#   ports   no IPMI module loaded: srvfw finds the KCS interface itself
#   si      ipmi_msghandler + ipmi_si without ipmi_devintf: no /dev/ipmi0,
#           and srvfw must refuse rather than race the kernel's driver
#   driver  + ipmi_devintf: /dev/ipmi0, where ipmitool reads too
. /peer/lib.sh
. /peer/sdr.sh

srvfw_reads() {
  prefix=$1
  shift
  run "$prefix.show" $SRVFW "$@" fru show
  run "$prefix.json" $SRVFW "$@" --json fru show
  for f in $PEER_FIELDS; do
    run "$prefix.get.$f" $SRVFW "$@" fru get "$f"
  done
  traced "$prefix.trace" $SRVFW "$@" fru get product.name
}

# Which way a command reached the BMC, as the kernel saw it: the ports
# (iopl/ioperm) or the driver (open and ioctl of /dev/ipmi0). strace's
# lines go to the block's stderr.
traced() {
  id=$1
  shift
  if command -v strace >/dev/null; then
    run "$id" strace -f -qq -e trace=iopl,ioperm,open,openat,ioctl "$@"
  else
    note "no strace: $id not traced"
  fi
}

# set, its backup, restore from the backup; the host reads the FRU over
# the LAN at each sync point.
write_sequence() {
  prefix=$1
  shift
  field=${PEER_SET%%=*}
  sync_host before
  run "$prefix.set" $SRVFW "$@" fru set "$PEER_SET" --backup /tmp/backup.fru
  dump_file "$prefix.backup" /tmp/backup.fru
  sync_host after-set
  run "$prefix.get-after-set" $SRVFW "$@" fru get "$field"
  run "$prefix.write" $SRVFW "$@" fru write /tmp/backup.fru --backup /tmp/backup2.fru
  sync_host after-restore
  run "$prefix.get-after-restore" $SRVFW "$@" fru get "$field"
  run "$prefix.files" ls /tmp
}

[ -n "$PEER_SET" ] && sync_open

dump_file smbios.entry /sys/firmware/dmi/tables/smbios_entry_point
dump_file smbios.dmi /sys/firmware/dmi/tables/DMI

note "phase ports"
run ports.modules cat /proc/modules
srvfw_reads ports.auto
srvfw_reads ports.kcs --interface kcs
sdr_srvfw_reads ports.auto
run ports.ipmi-fru ipmi-fru --driver-type=KCS --driver-address=$PEER_KCS --ignore-sdr-cache
[ -n "$PEER_SET" ] && [ "$PEER_WRITE_OVER" = kcs ] && write_sequence ports.write --interface kcs

note "phase si"
load_module ipmi_msghandler
load_module ipmi_si
wait_for_bmc 30 || note "ipmi_si brought up no BMC"
run si.devices ls /sys/bus/platform/devices
run si.dev ls /dev
run si.auto.show $SRVFW fru show
traced si.auto.trace $SRVFW fru show

note "phase driver"
load_module ipmi_devintf
wait_for /dev/ipmi0 10 || note "no /dev/ipmi0"
run driver.dev ls -l /dev/ipmi0
srvfw_reads driver.auto
srvfw_reads driver.driver --interface driver
run driver.ipmitool ipmitool -I open fru print 0
run driver.ipmi-fru ipmi-fru --driver-type=OPENIPMI --ignore-sdr-cache
sdr_srvfw_reads driver.auto
sdr_peer_reads driver
[ -n "$PEER_SET" ] && [ "$PEER_WRITE_OVER" = driver ] && write_sequence driver.write
exit 0
