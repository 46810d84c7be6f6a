#!/usr/bin/env bash
# Builds the project and its tests with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/ and runs every test there: any memory error, undefined behaviour or leak fails
# the test it happens in.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_SANITIZE=ON > /dev/null
cmake --build build-asan -j "$(nproc)"
cd build-asan
export ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --output-on-failure -j "$(nproc)"
