#!/bin/sh
# The quorzel module and tarvo's use of it on a real kernel, run inside the
# test guest.
#
#   quorzel.sh DIR
#
# Expects, under DIR (the project's files as the guest sees them):
#   DIR/bin/quorzel_mod.o     the module (build/<preset>/bin/quorzel_mod.o: the
#                             .ko under the name tarvo insmods)
#   DIR/bin/quorzel_probe     static 64-bit probe of the device
#   DIR/bin/quorzel_probe32   static 32-bit probe (compat requests); when it
#                             was not built (no multilib) a SKIP line says so
#   DIR/bin/tarvo             the real (not simulated) build, runnable: its
#                             shared libraries and loader in the guest
# and of the guest: root, the kernel the module was built for, busybox with
# sh, insmod, rmmod, mknod, mktemp, grep, sed, ls; /proc and /sys mounted; a
# writable /tmp. The module must not be loaded when the script starts.
#
# Prints "PASS quorzel <what>", "FAIL quorzel <what>: <why>" or
# "SKIP quorzel <what>: <why>" lines (the probes' and tarvo's own output
# indented under them) and exits 1 when anything failed, else 0.
#
# tarvo cannot get past the anchor search in this guest (the guest's BIOS
# has no "$ASF" anchor): its exit code 2 ("ASF Signature not found") comes
# only after it has loaded the module and opened its device, so that code is
# the proof that the load worked; a failed load exits with 16.

dir=${1:?usage: quorzel.sh DIR}
bin=$dir/bin
module=quorzel_mod
failed=0

pass() { echo "PASS quorzel $*"; }
fail() {
    echo "FAIL quorzel $*"
    failed=1
}
indent() { sed 's/^/    /'; }

module_loaded() { grep -q "^$module " /proc/modules || [ -e /sys/module/$module ]; }

# The major of the character device "quorzel", empty when not registered.
driver_major() {
    sed -n '/^Character devices:/,/^$/p' /proc/devices | while read -r major name; do
        if [ "$name" = quorzel ]; then
            echo "$major"
            break
        fi
    done
}

# Checks that the module and its traces are gone.
expect_unloaded() {
    if module_loaded; then
        fail "$1: module still loaded"
        rmmod $module 2>/dev/null
    elif [ -n "$(driver_major)" ]; then
        fail "$1: /proc/devices still lists quorzel"
    else
        pass "$1: module unloaded"
    fi
}

# tarvo in a scratch directory: $1 what, $2 expected exit code, $3 text its
# output must hold, $4 "with" or "without" the module file beside it.
run_tarvo() {
    scratch=$(mktemp -d /tmp/quorzel.XXXXXX)
    [ "$4" = with ] && cp "$bin/quorzel_mod.o" "$scratch/"
    before=$(ls -A "$scratch")
    (cd "$scratch" && "$bin/tarvo" /t) >/tmp/quorzel.tarvo.out 2>&1
    code=$?
    indent </tmp/quorzel.tarvo.out
    if [ "$code" != "$2" ]; then
        fail "$1: tarvo exited with $code, not $2"
    elif ! grep -q "$3" /tmp/quorzel.tarvo.out; then
        fail "$1: tarvo did not print \"$3\""
    else
        pass "$1: tarvo exited with $2"
    fi
    expect_unloaded "$1"
    after=$(ls -A "$scratch")
    if [ -e "$scratch/quorz" ]; then
        fail "$1: node quorz left behind"
    elif [ "$after" != "$before" ]; then
        fail "$1: scratch directory changed: [$before] became [$after]"
    else
        pass "$1: nothing left in its directory"
    fi
    rm -rf "$scratch" /tmp/quorzel.tarvo.out
}

run_probe() {
    if [ ! -e "$bin/$1" ]; then
        echo "SKIP quorzel $1: $bin/$1 was not built"
        return
    fi
    "$bin/$1" "$2" >/tmp/quorzel.probe.out 2>&1
    code=$?
    indent </tmp/quorzel.probe.out
    if [ "$code" = 0 ]; then
        pass "$1: every step passed"
    else
        fail "$1: exit $code ($(grep -c '^FAIL' /tmp/quorzel.probe.out) step(s) failed)"
    fi
    rm -f /tmp/quorzel.probe.out
}

if module_loaded; then
    fail "start: $module is already loaded; unloading it"
    rmmod $module
fi

# (a) The module on its own: load, device, both probes, unload.
if insmod "$bin/quorzel_mod.o"; then
    pass "insmod $bin/quorzel_mod.o"
    major=$(driver_major)
    if [ -z "$major" ] || [ "$major" = 0 ]; then
        fail "/proc/devices: no character device quorzel"
    elif ! [ -e /sys/module/$module ]; then
        fail "/sys/module/$module missing"
    else
        pass "/proc/devices lists quorzel with major $major"
        node=$(mktemp -u /tmp/quorz.XXXXXX)
        if mknod "$node" c "$major" 0; then
            run_probe quorzel_probe "$node"
            run_probe quorzel_probe32 "$node"
            rm -f "$node"
        else
            fail "mknod $node c $major 0"
        fi
        # Only minor 0 belongs to the driver.
        if mknod "$node" c "$major" 1; then
            if (: <"$node") 2>/dev/null; then
                fail "minor 1 opened"
            else
                pass "minor 1 refused"
            fi
            rm -f "$node"
        fi
    fi
    if rmmod $module; then
        pass "rmmod $module"
    else
        fail "rmmod $module"
    fi
    expect_unloaded "after the probes"
else
    fail "insmod $bin/quorzel_mod.o"
fi

# (b) tarvo loads the module from its directory and unloads it again.
run_tarvo "tarvo loads the module itself" 2 "ASF Signature not found" with

# (c) Loaded before tarvo starts: tarvo finds the device in /proc/devices,
# makes its own node, and still unloads the module at exit.
if insmod "$bin/quorzel_mod.o"; then
    run_tarvo "tarvo with the module already loaded" 2 "ASF Signature not found" without
else
    fail "insmod before tarvo"
fi

# (d) No module to be had: tarvo says so and leaves nothing behind.
run_tarvo "tarvo without the module" 16 "error loading driver" without

exit $failed
