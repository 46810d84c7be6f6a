#!/usr/bin/env bash
# Boot test: repairs a disk image with `vantrel-cli repair`, then boots it under
# qemu (TCG, no display) and checks what the MBR boot program does.
#
# usage: qemu_boot_test.sh VANTREL_CLI MARKER_SECTOR [BOOT_PROGRAM_BIN]
#
#   VANTREL_CLI       the vantrel-cli executable
#   MARKER_SECTOR     the assembled marker_boot_sector.asm (512 bytes)
#   BOOT_PROGRAM_BIN  optional: the assembled boot program (440 bytes); when
#                     given, sector 0 after the repair must start with it
#
# Cases, each booting its own copy of the repaired image:
#   boots       as repaired: the marker sector runs and reports on the debug
#               console (port 0xE9) that DL and DS:SI were handed over right;
#   missing     the partition's first sector without 55 AA:
#               "Missing operating system";
#   bad-status  first entry status 0x12: "Invalid partition table";
#   two-active  the first entry copied to the second: "Invalid partition table";
#   unreadable  start LBA past the end of the disk:
#               "Error loading operating system".
# Screen text is read from the serial port: with graphics=off qemu tells
# SeaBIOS to copy int 10h output there.
#
# Exit status: 0 pass, 1 fail (a missing qemu-system-i386 too). Every wait is
# bounded: no qemu run outlives QEMU_LIMIT seconds.

set -u -o pipefail

readonly SECTOR=512
readonly CYLINDER_BYTES=$((255 * 63 * SECTOR))
readonly IMAGE_BYTES=$((16 * CYLINDER_BYTES))   # whole cylinders: the search covers all of it
readonly PARTITION_LBA=2048
readonly ENTRY1=446                             # first partition entry in sector 0
readonly QEMU_LIMIT=40                          # seconds any one qemu run may take
readonly MARKER_OK="VANTREL-BOOT-OK"
readonly MARKER_BAD="VANTREL-BOOT-BADHANDOFF"
readonly MESSAGES=("Invalid partition table" "Error loading operating system" "Missing operating system")

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

[[ $# -eq 2 || $# -eq 3 ]] || fail "usage: $0 VANTREL_CLI MARKER_SECTOR [BOOT_PROGRAM_BIN]"
# Absolute paths: the repair runs from a temp dir.
cli=$(realpath -e -- "$1") || fail "vantrel-cli not found: $1"
marker=$2
boot_bin=${3:-}
[[ -x $cli ]] || fail "vantrel-cli is not executable: $cli"
[[ -f $marker ]] || fail "marker boot sector not found: $marker"
[[ $(stat -c %s "$marker") -eq $SECTOR ]] || fail "marker boot sector is not $SECTOR bytes: $marker"
if [[ -n $boot_bin ]]; then
    [[ -f $boot_bin ]] || fail "boot program binary not found: $boot_bin"
fi
qemu=$(command -v qemu-system-i386) || { echo "FAIL: qemu-system-i386 is not installed (tools/setup.sh installs it)"; exit 1; }

tmp=$(mktemp -d "${TMPDIR:-/tmp}/vantrel-boot-test.XXXXXX") || fail "cannot create a temp dir"
qemu_pid=
cleanup() {
    if [[ -n $qemu_pid ]]; then
        kill "$qemu_pid" 2>/dev/null
        wait "$qemu_pid" 2>/dev/null
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT

# hex_at FILE OFFSET COUNT: those bytes as lowercase hex, no spaces.
hex_at() {
    od -An -v -tx1 -j "$2" -N "$3" "$1" | tr -d ' \n'
}

# put_hex FILE OFFSET HEX: overwrites bytes in place.
put_hex() {
    local escaped
    escaped=$(sed 's/../\\x&/g' <<<"$3")
    printf "$escaped" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none \
        || fail "cannot patch $1 at offset $2"
}

# screen_message NAME: prints the first boot program message found on the
# screen of run NAME; fails when there is none.
screen_message() {
    local message
    for message in "${MESSAGES[@]}"; do
        if tr -d '\r' <"$tmp/$1.serial" | grep -qF "$message"; then
            echo "$message"
            return 0
        fi
    done
    return 1
}

show_logs() {
    local name=$1
    {
        echo "--- screen (serial) of $name:"
        tr -d '\r' <"$tmp/$name.serial"
        echo
        echo "--- debug console of $name:"
        cat "$tmp/$name.debugcon"
        echo "--- qemu stderr of $name:"
        cat "$tmp/$name.qemu-stderr"
    } >&2
}

# boot NAME: boots $tmp/NAME.img until qemu ends by itself (the marker sector
# ends it) or a boot program message is on screen (the boot program then
# idles, so qemu is stopped). Sets qemu_status: qemu's exit status, 124 when
# QEMU_LIMIT ran out, "stopped" when a message was seen.
qemu_status=
boot() {
    local name=$1
    : >"$tmp/$name.serial"
    : >"$tmp/$name.debugcon"
    timeout "$QEMU_LIMIT" "$qemu" \
        -nodefaults -display none -machine pc,accel=tcg,graphics=off -m 16 \
        -drive "file=$tmp/$name.img,format=raw,if=ide" \
        -serial "file:$tmp/$name.serial" -debugcon "file:$tmp/$name.debugcon" \
        -device isa-debug-exit,iobase=0xf4,iosize=0x04 \
        -no-reboot </dev/null 2>"$tmp/$name.qemu-stderr" &
    qemu_pid=$!
    # Ends at the latest when timeout ends qemu.
    while kill -0 "$qemu_pid" 2>/dev/null; do
        if screen_message "$name" >/dev/null; then
            kill "$qemu_pid" 2>/dev/null
            wait "$qemu_pid" 2>/dev/null
            qemu_pid=
            qemu_status=stopped
            return
        fi
        sleep 0.2
    done
    wait "$qemu_pid"
    qemu_status=$?
    qemu_pid=
}

copy_image() {
    cp --sparse=always "$image" "$tmp/$1.img" || fail "cannot copy the image for $1"
}

# ---------------------------------------------------------------------------
# Build the image and repair it.

image=$tmp/disk.img
truncate -s "$IMAGE_BYTES" "$image" || fail "cannot create $image"
dd if="$marker" of="$image" bs=$SECTOR seek=$PARTITION_LBA conv=notrunc status=none \
    || fail "cannot write the marker sector"

mkdir "$tmp/work" || fail "cannot create $tmp/work"
(cd "$tmp/work" && "$cli" repair "$image" --yes) >"$tmp/repair.log" 2>&1
status=$?
if [[ $status -ne 0 ]]; then
    cat "$tmp/repair.log" >&2
    fail "vantrel-cli repair exited with status $status"
fi

# What the boot relies on: our boot program, an active first entry starting
# at the marker sector, the signature.
if [[ -n $boot_bin ]] && ! cmp -s -n 440 "$boot_bin" "$image"; then
    fail "sector 0 after the repair does not start with the boot program $boot_bin"
fi
[[ $(hex_at "$image" 510 2) == 55aa ]] || fail "sector 0 after the repair does not end in 55 AA"
[[ $(hex_at "$image" $ENTRY1 1) == 80 ]] \
    || fail "first partition entry is not active (status $(hex_at "$image" $ENTRY1 1))"
expected_lba=$(printf '%02x%02x%02x%02x' $((PARTITION_LBA & 255)) $((PARTITION_LBA >> 8 & 255)) \
    $((PARTITION_LBA >> 16 & 255)) $((PARTITION_LBA >> 24 & 255)))
[[ $(hex_at "$image" $((ENTRY1 + 8)) 4) == "$expected_lba" ]] \
    || fail "first partition entry does not start at LBA $PARTITION_LBA (bytes $(hex_at "$image" $((ENTRY1 + 8)) 4))"

# ---------------------------------------------------------------------------
# The repaired image starts the marker sector.

echo "case boots: expecting the marker sector to run"
copy_image boots
boot boots
if grep -qF "$MARKER_BAD" "$tmp/boots.debugcon"; then
    show_logs boots
    fail "case boots: the marker sector ran, but DL or DS:SI was not handed over as expected"
fi
if ! grep -qF "$MARKER_OK" "$tmp/boots.debugcon"; then
    show_logs boots
    if message=$(screen_message boots); then
        fail "case boots: the boot program showed \"$message\" instead of starting the partition"
    fi
    [[ $qemu_status == 124 ]] && fail "case boots: the marker sector did not run within $QEMU_LIMIT s"
    fail "case boots: qemu ended (status $qemu_status) without running the marker sector"
fi
# isa-debug-exit: the marker writes 1, so qemu exits with (1 << 1) | 1.
if [[ $qemu_status != 3 ]]; then
    show_logs boots
    fail "case boots: qemu exited with status $qemu_status, expected 3 from the marker sector"
fi

# ---------------------------------------------------------------------------
# Failure cases: the boot program shows a message and halts.

# expect_screen NAME TEXT: boots $tmp/NAME.img and requires TEXT on screen
# and the marker sector not to have run.
expect_screen() {
    local name=$1 text=$2 message
    echo "case $name: expecting \"$text\" on screen"
    boot "$name"
    if grep -qF "VANTREL-BOOT" "$tmp/$name.debugcon"; then
        show_logs "$name"
        fail "case $name: the boot program started the partition's boot sector"
    fi
    if message=$(screen_message "$name"); then
        [[ $message == "$text" ]] && return 0
        show_logs "$name"
        fail "case $name: \"$message\" on screen instead of \"$text\""
    fi
    show_logs "$name"
    [[ $qemu_status == 124 ]] && fail "case $name: \"$text\" not on screen within $QEMU_LIMIT s"
    fail "case $name: qemu ended (status $qemu_status) without \"$text\" on screen"
}

copy_image missing
put_hex "$tmp/missing.img" $((PARTITION_LBA * SECTOR + 510)) 0000
expect_screen missing "Missing operating system"

copy_image bad-status
put_hex "$tmp/bad-status.img" $ENTRY1 12
expect_screen bad-status "Invalid partition table"

copy_image two-active
dd if="$image" of="$tmp/two-active.img" bs=1 skip=$ENTRY1 seek=$((ENTRY1 + 16)) count=16 \
    conv=notrunc status=none || fail "cannot write the second active entry"
expect_screen two-active "Invalid partition table"

copy_image unreadable
put_hex "$tmp/unreadable.img" $((ENTRY1 + 8)) 00ffffff   # LBA 0xFFFFFF00, far past the end
expect_screen unreadable "Error loading operating system"

echo "PASS: the repaired image boots, and the boot program reports the failure cases"
exit 0
