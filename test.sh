#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: with AddressSanitizer and
# UndefinedBehaviorSanitizer (build-asan/), and in Release (build/); then fuzzes the texture
# library reader for FUZZ_SECONDS (default 30) with clang's libFuzzer (build-fuzz/).
#   ./test.sh            all three
#   ./test.sh release    Release only
#   ./test.sh asan       sanitizers only
#   ./test.sh fuzz       the fuzz run only
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)
run() {  # run DIR CTEST_OPTIONS [cmake options...]
  local dir=$1 ctest_options=$2
  shift 2
  echo "== Building and testing in $dir"
  cmake -S . -B "$dir" -G Ninja -DTERRAIN3D_BUILD_TESTS=ON "$@" >/dev/null
  cmake --build "$dir"
  # shellcheck disable=SC2086
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 600 $ctest_options)
}

fuzz() {
  echo "== Fuzzing the texture library reader for ${FUZZ_SECONDS:-30} s"
  FUZZ_SECONDS=${FUZZ_SECONDS:-30} tests/fuzz/run_fuzz.sh > build-fuzz.log 2>&1 || {
    tail -40 build-fuzz.log
    echo "The fuzz run failed (see build-fuzz.log and build-fuzz/fuzz-artifacts)."
    exit 1
  }
  grep -E '^stat::number_of_executed_units|Done [0-9]+ runs' build-fuzz.log || true
  echo "== Fuzzing the overlay image reader for ${FUZZ_SECONDS:-30} s"
  FUZZ_TARGET=overlay_image FUZZ_SECONDS=${FUZZ_SECONDS:-30} tests/fuzz/run_fuzz.sh \
    > build-fuzz-overlay.log 2>&1 || {
    tail -40 build-fuzz-overlay.log
    echo "The fuzz run failed (see build-fuzz-overlay.log and build-fuzz/fuzz-artifacts)."
    exit 1
  }
  grep -E '^stat::number_of_executed_units|Done [0-9]+ runs' build-fuzz-overlay.log || true
}

what=${1:-all}
case "$what" in
  all|asan) run build-asan "" -DCMAKE_BUILD_TYPE=Debug -DTERRAIN3D_SANITIZE=ON ;;&
  all|release) run build "" -DCMAKE_BUILD_TYPE=Release ;;&
  all|fuzz) fuzz ;;
  asan|release) ;;
  *) echo "usage: $0 [all|release|asan|fuzz]" >&2; exit 2 ;;
esac
echo "All tests passed."
