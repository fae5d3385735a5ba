#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: with AddressSanitizer and
# UndefinedBehaviorSanitizer (build-asan/), and in Release (build/).
#   ./test.sh            both builds
#   ./test.sh release    Release only
#   ./test.sh asan       sanitizers only
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)
run() {  # run DIR [cmake options...]
  local dir=$1
  shift
  echo "== Building and testing in $dir"
  cmake -S . -B "$dir" -G Ninja -DTERRAIN3D_BUILD_TESTS=ON "$@" >/dev/null
  cmake --build "$dir"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 600)
}

what=${1:-all}
case "$what" in
  all|asan) run build-asan -DCMAKE_BUILD_TYPE=Debug -DTERRAIN3D_SANITIZE=ON ;;&
  all|release) run build -DCMAKE_BUILD_TYPE=Release ;;
  asan) ;;
  *) echo "usage: $0 [all|release|asan]" >&2; exit 2 ;;
esac
echo "All tests passed."
