#!/usr/bin/env bash
# Checks that the C++ sources are formatted as .clang-format says (tools/make_art/ has its
# own .clang-format). Lists each file whose formatting differs, with how many of its lines
# would change, and exits 1 when there is any; 0 when all agree. Nothing is rewritten.
#
#   bash tools/check_format.sh [FILE...]      default: every tracked .cpp and .h file
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang-format > /dev/null; then
  echo "check_format: clang-format is missing (bash tools/setup.sh installs it)" >&2
  exit 2
fi
if [ $# -eq 0 ]; then
  mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
  files=("$@")
fi
differ=0
lines=0
for f in "${files[@]}"; do
  # Lines of the file that the formatter would remove or rewrite.
  n=$(clang-format --style=file "$f" | diff "$f" - | grep -c '^<' || true)
  if [ "$n" -gt 0 ]; then
    echo "$f: $n line(s) differ"
    differ=$((differ + 1))
    lines=$((lines + n))
  fi
done
if [ "$differ" -gt 0 ]; then
  echo "check_format: $differ of ${#files[@]} file(s) differ from .clang-format ($lines line(s)); clang-format -i FILE formats one" >&2
  exit 1
fi
echo "check_format: ${#files[@]} file(s) formatted as .clang-format says"
