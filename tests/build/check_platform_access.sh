#!/usr/bin/env bash
# check_platform_access.sh ROOT
# Fails when code outside hw/, sim/, tests/ and kmod/ reaches
# the OS or the hardware directly instead of through the platform layer.
set -uo pipefail
root=$1
pattern='<sys/io\.h>|\biopl *\(|\b(inb|outb|inw|outw|inl|outl) *\(|"/dev/mem"|\bsystem *\(|\b(u?sleep|nanosleep) *\(|\balarm *\(|\bgettimeofday *\(|\bsched_setaffinity *\(|\bmknod *\(|\bmmap *\(|\bioctl *\(|\bpci_[a-z_]+ *\(|<pci/pci\.h>|"/proc/devices"|\b(signal|sigaction) *\('
hits=$(cd "$root" && grep -R -n -E "$pattern" \
  --include='*.c' --include='*.cc' --include='*.cpp' --include='*.h' --include='*.hpp' . |
  grep -v -E '^\./(hw|sim|tests|kmod|build)/' |
  grep -v -E '^[^:]+:[0-9]+:[[:space:]]*(//|\*)')
if [ -n "$hits" ]; then
  echo "OS or hardware access outside the platform layer:"
  echo "$hits"
  exit 1
fi
echo "no OS or hardware access outside the platform layer"
