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
# Cases:
#   1. the repaired image boots: the marker sector runs and reports on the
#      debug console (port 0xE9) that DL and DS:SI were handed over correctly;
#   2. the partition's first sector without 55 AA: "Missing operating system";
#   3. an entry status other than 0x00/0x80: "Invalid partition table";
#   4. two active entries: "Invalid partition table";
#   5. a start LBA past the end of the disk: "Error loading operating system".
# Screen text is read from the serial port: with graphics=off qemu tells
# SeaBIOS to copy int 10h output there.
#
# Exit status: 0 pass, 1 fail, 77 qemu-system-i386 missing. Every wait is
# bounded; no qemu outlives QEMU_LIMIT seconds.

set -u -o pipefail

readonly SECTOR=512
readonly CYLINDER_BYTES=$((255 * 63 * SECTOR))
readonly IMAGE_BYTES=$((16 * CYLINDER_BYTES))
readonly PARTITION_LBA=2048
readonly MARKER_OK="VANTREL-BOOT-OK"
readonly MARKER_BAD="VANTREL-BOOT-BADHANDOFF"
readonly QEMU_LIMIT=40   # seconds any one qemu run may take
readonly ENTRY1=446      # first partition entry in sector 0

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

[[ $# -eq 2 || $# -eq 3 ]] || fail "usage: $0 VANTREL_CLI MARKER_SECTOR [BOOT_PROGRAM_BIN]"
# Absolute paths: the repair runs from a temp dir.
cli=$(realpath -e -- "$1") || fail "vantrel-cli not found: $1"
marker=$2
boot_bin=${3:-}

[[ -x $cli ]] || fail "vantrel-cli not found or not executable: $cli"
[[ -f $marker ]] || fail "marker boot sector not found: $marker"
[[ $(stat -c %s "$marker") -eq $SECTOR ]] || fail "marker boot sector is not $SECTOR bytes: $marker"
if [[ -n $boot_bin ]]; then
    [[ -f $boot_bin ]] || fail "boot program binary not found: $boot_bin"
fi
qemu=$(command -v qemu-system-i386) || { echo "SKIP: qemu-system-i386 is not installed"; exit 77; }

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

# hex_at FILE OFFSET COUNT: the bytes as lowercase hex, no spaces.
hex_at() {
    od -An -v -tx1 -j "$2" -N "$3" "$1" | tr -d ' \n'
}

# put_hex FILE OFFSET HEX: overwrite bytes in place.
put_hex() {
    local escaped
    escaped=$(sed 's/../\\x&/g' <<<"$3")
    printf "$escaped" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none \
        || fail "cannot patch $1 at offset $2"
}

# Starts qemu in the background on IMAGE; serial output (the screen) goes to
# SERIAL, the debug console to DEBUGCON.
start_qemu() {
    local image=$1 serial=$2 debugcon=$3 errlog=$4
    : >"$serial"
    : >"$debugcon"
    timeout "$QEMU_LIMIT" "$qemu" \
        -nodefaults -display none -machine pc,accel=tcg,graphics=off -m 16 \
        -drive "file=$image,format=raw,if=ide" \
        -serial "file:$serial" -debugcon "file:$debugcon" \
        -device isa-debug-exit,iobase=0xf4,iosize=0x04 \
        -no-reboot </dev/null 2>"$errlog" &
    qemu_pid=$!
}

stop_qemu() {
    kill "$qemu_pid" 2>/dev/null
    wait "$qemu_pid" 2>/dev/null
    qemu_pid=
}

show_logs() {
    local name=$1
    echo "--- screen (serial) of $name:" >&2
    tr -d '\r' <"$tmp/$name.serial" >&2
    echo >&2
    echo "--- debug console of $name:" >&2
    cat "$tmp/$name.debugcon" >&2
    echo "--- qemu stderr of $name:" >&2
    cat "$tmp/$name.qemu-stderr" >&2
}

# ---------------------------------------------------------------------------
# Build the image and repair it.

image=$tmp/disk.img
truncate -s "$IMAGE_BYTES" "$image" || fail "cannot create $image"
dd if="$marker" of="$image" bs=$SECTOR seek=$PARTITION_LBA conv=notrunc status=none \
    || fail "cannot write the marker sector"

mkdir "$tmp/work"
(cd "$tmp/work" && "$cli" repair "$image" --yes) >"$tmp/repair.log" 2>&1
status=$?
if [[ $status -ne 0 ]]; then
    cat "$tmp/repair.log" >&2
    fail "vantrel-cli repair exited with status $status"
fi

# What the boot depends on: our boot program, an active first entry that
# starts at the marker sector, the signature.
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

# Each case boots its own copy of the repaired image.
copy_image() {
    cp --sparse=always "$image" "$tmp/$1.img" || fail "cannot copy the image for $1"
}

# ---------------------------------------------------------------------------
# Case 1: the repaired image boots into the marker sector.

echo "case boots: booting the repaired image"
start_qemu "$image" "$tmp/boots.serial" "$tmp/boots.debugcon" "$tmp/boots.qemu-stderr"
wait "$qemu_pid"
status=$?
qemu_pid=
if grep -qF "$MARKER_BAD" "$tmp/boots.debugcon"; then
    show_logs boots
    fail "the partition's boot sector ran, but DL or DS:SI was not handed over as expected"
fi
if ! grep -qF "$MARKER_OK" "$tmp/boots.debugcon"; then
    show_logs boots
    [[ $status -eq 124 ]] && fail "the marker boot sector did not run within $QEMU_LIMIT s"
    fail "the marker boot sector did not run (qemu status $status)"
fi
# isa-debug-exit: the marker writes 1, qemu exits with (1 << 1) | 1.
[[ $status -eq 3 ]] || { show_logs boots; fail "qemu exited with status $status, expected 3 from the marker sector"; }

# ---------------------------------------------------------------------------
# Cases 2-5: the boot program shows a message and halts.

# expect_screen NAME TEXT: boots $tmp/NAME.img and waits until TEXT is on
# screen; fails if it does not show up, or if the marker sector ran.
expect_screen() {
    local name=$1 text=$2
    local serial=$tmp/$name.serial debugcon=$tmp/$name.debugcon
    echo "case $name: expecting \"$text\" on screen"
    start_qemu "$tmp/$name.img" "$serial" "$debugcon" "$tmp/$name.qemu-stderr"
    local found=0 exited=0
    # Bounded by QEMU_LIMIT: timeout ends qemu, and the loop ends with it.
    while true; do
        if tr -d '\r' <"$serial" | grep -qF "$text"; then
            found=1
            break
        fi
        if ! kill -0 "$qemu_pid" 2>/dev/null; then
            exited=1
            break
        fi
        sleep 0.2
    done
    stop_qemu
    # Output may have landed between the last look and the exit.
    [[ $found -eq 0 ]] && tr -d '\r' <"$serial" | grep -qF "$text" && found=1
    if grep -qF "VANTREL-BOOT" "$debugcon"; then
        show_logs "$name"
        fail "case $name: the boot program started the partition's boot sector"
    fi
    if [[ $found -eq 0 ]]; then
        show_logs "$name"
        if [[ $exited -eq 1 ]]; then
            fail "case $name: qemu ended without \"$text\" on screen"
        fi
        fail "case $name: \"$text\" not on screen within $QEMU_LIMIT s"
    fi
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
put_hex "$tmp/unreadable.img" $((ENTRY1 + 8)) 00ffffff   # LBA 0xFFFFFF00, past the disk
expect_screen unreadable "Error loading operating system"

echo "PASS: boot program boots the repaired image and reports the failure cases"
exit 0
