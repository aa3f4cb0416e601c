# The SDR reads of the BMC scenarios, sourced by fru.sh after lib.sh
# (busybox sh, as root). The repository does not change during a boot:
# neither BMC takes Add, Partial Add or Clear SDR Repository, so nothing
# here writes.
#
#   sdr_srvfw_reads PREFIX [srvfw options]   srvfw's reads over one path
#   sdr_peer_reads PREFIX                    ipmitool and FreeIPMI over the
#                                            driver (they need /dev/ipmi0)

sdr_srvfw_reads() {
  prefix=$1
  shift
  run "$prefix.sdr.json-show" $SRVFW "$@" --json sdr show
  run "$prefix.sdr.json-list" $SRVFW "$@" --json sdr list
  rm -f /tmp/saved.sdr
  run "$prefix.sdr.save" $SRVFW "$@" sdr save /tmp/saved.sdr
  dump_file "$prefix.sdr.saved" /tmp/saved.sdr
  # What the saved file gives back, read by the library without the BMC.
  run "$prefix.sdr.json-load" $SRVFW --json sdr load /tmp/saved.sdr
  traced "$prefix.sdr.trace" $SRVFW "$@" sdr list
}

sdr_peer_reads() {
  prefix=$1
  rm -f /tmp/ipmitool.sdr /tmp/freeipmi.sdr
  run "$prefix.ipmitool.sdr-dump" ipmitool -I open sdr dump /tmp/ipmitool.sdr
  dump_file "$prefix.ipmitool.sdr-dumped" /tmp/ipmitool.sdr
  run "$prefix.ipmitool.sdr-elist" ipmitool -I open sdr elist all
  run "$prefix.ipmitool.sdr-list-v" ipmitool -I open -v sdr list all
  # ipmi-sensors reads the whole repository into its SDR cache first; the
  # cache file holds the records as the BMC gave them. -vv decodes every
  # record, locators and OEM records included.
  run "$prefix.ipmi-sensors" ipmi-sensors --driver-type=OPENIPMI -vv \
    --sdr-cache-file=/tmp/freeipmi.sdr --quiet-cache
  dump_file "$prefix.ipmi-sensors.cache" /tmp/freeipmi.sdr
}
