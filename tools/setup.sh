#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests, the benchmarks and the demo need.
# Idempotent: packages already present are left alone, and the package lists are only
# refreshed when something is missing.
#
# Usage: tools/setup.sh [--fixture-makers]   (the option adds the large programs that
# regenerate committed test fixtures; neither the build nor the tests need them)
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config nasm ccache
  qt6-base-dev libgtest-dev libblkid-dev libmount-dev libtsk-dev
  zlib1g-dev libbz2-dev liblzma-dev libisal-dev
  # the window: TIFF and other image plug-ins, fonts standing in for Arial, Verdana and
  # Comic Sans MS (Liberation, DejaVu) and for Chinese and Japanese (Noto CJK); the art's
  # generator draws its captions with the same fonts
  qt6-image-formats-plugins fonts-liberation2 fonts-dejavu-core fonts-noto-cjk
  # window tests and screenshots: a virtual X server, pointer automation, image conversion
  # (ImageMagick also assembles the art's animation and icon in tools/make_art.sh)
  xvfb xauth xdotool imagemagick
  # test fixtures: file-system images and an emulator to boot a repaired image
  dosfstools mtools ntfs-3g qemu-system-x86 fdisk e2fsprogs exfatprogs
  # a system-call tracer: the tests check which devices a command opens
  strace
  # fuzzing: clang with libFuzzer and the sanitizer runtimes
  clang libclang-rt-14-dev
  # the formatter tools/check_format.sh runs
  clang-format
  # benchmark references, Exif tags for the deep-scan benchmark's camera-style photos, and
  # GNU time for the window benchmark's memory figure
  testdisk sleuthkit libimage-exiftool-perl time
)
if [ "${1:-}" = "--fixture-makers" ]; then
  # GIMP in batch mode writes the committed XCF fixtures (tests/recovery/signatures/files/make.sh)
  packages+=(gimp)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
