#!/bin/sh
# librask through srvfw on QEMU's q35 machine: its ICH9 LPC bridge and the
# CFI flash (pflash) the machine starts from, which holds the BIOS's flash
# tables below the guest's own firmware. Run inside the test guest.
#
#   bios.sh DIR
#
# DIR is /opt/srvfw (the real builds); /peer/new-area1.bin is the image the
# host made for area 1. Results go to the console as lib.sh blocks; the host
# checks them and, once the guest is off, the flash file QEMU wrote back.

. /peer/lib.sh

SRVFW=$1/bin/srvfw
cfg=/sys/bus/pci/devices/0000:00:1f.0/config

# What the chipset shows before the library touches it: the LPC bridge's
# root complex base (F0h) and BIOS control (DCh), as the host reads them
# back after the run to say what QEMU lets through.
dump_file chipset.lpc-config $cfg

run tables $SRVFW bios tables
run tables.json $SRVFW --json bios tables
rm -f /tmp/area1.bin
run read $SRVFW bios read 1 /tmp/area1.bin
dump_file read.file /tmp/area1.bin
run write.dry $SRVFW bios write 1 /peer/new-area1.bin --dry-run
rm -f /tmp/area1.backup
run write $SRVFW bios write 1 /peer/new-area1.bin --backup /tmp/area1.backup
dump_file write.backup /tmp/area1.backup
rm -f /tmp/area1.after
run read.after $SRVFW bios read 1 /tmp/area1.after
dump_file read.after.file /tmp/area1.after
run notify.before $SRVFW --json bios notify status
run notify.set $SRVFW bios notify set
run notify.after $SRVFW --json bios notify status
run smbios.entry $SRVFW --json bios smbios --entry-point
dump_file smbios.sysfs-entry /sys/firmware/dmi/tables/smbios_entry_point
run platform-id $SRVFW bios platform-id
# The ICH9 LPC bridge's general control register shows no boot straps, so
# the SPI-capable platforms' chipset probe finds neither LPC nor SPI.
run spi-platform $SRVFW --platform 11 bios tables
dump_file chipset.lpc-config-after $cfg
exit 0
