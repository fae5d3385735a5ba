#!/bin/sh
# Builds the texture library fuzz target with clang in build-fuzz and runs it for a bounded time
# (FUZZ_SECONDS, default 60) from the seed libraries in tests/fuzz/corpus. New inputs collect in
# build-fuzz/fuzz-corpus; crashes are written to build-fuzz/fuzz-artifacts.
set -eu
SOURCE_DIR=$(cd "$(dirname "$0")/../.." && pwd)
BUILD_DIR=${FUZZ_BUILD_DIR:-$SOURCE_DIR/build-fuzz}
SECONDS_TO_RUN=${FUZZ_SECONDS:-60}

if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$SOURCE_DIR" -B "$BUILD_DIR" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTERRAIN3D_BUILD_TESTS=ON
fi
ninja -C "$BUILD_DIR" texture_library_fuzz texture_library_corpus

# Regenerate the seeds with: build-fuzz/texture_library_corpus tests/fuzz/corpus
mkdir -p "$BUILD_DIR/fuzz-corpus" "$BUILD_DIR/fuzz-artifacts"
# Every input is written to a file: keep that file in memory when possible.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export TMPDIR=/dev/shm
fi
cd "$BUILD_DIR"
exec ./texture_library_fuzz -max_total_time="$SECONDS_TO_RUN" -rss_limit_mb=2048 -timeout=10 \
  -max_len=8192 -print_final_stats=1 -artifact_prefix="$BUILD_DIR/fuzz-artifacts/" \
  "$BUILD_DIR/fuzz-corpus" "$SOURCE_DIR/tests/fuzz/corpus"
