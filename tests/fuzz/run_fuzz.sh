#!/bin/sh
# Builds a fuzz target with clang in build-fuzz and runs it for a bounded time (FUZZ_SECONDS,
# default 60) from its seeds: FUZZ_TARGET texture_library (the default; seed libraries in
# tests/fuzz/corpus) or overlay_image (seed BMP files in tests/fuzz/bmp_corpus). New inputs
# collect in build-fuzz/fuzz-corpus (or fuzz-corpus-overlay_image); crashes are written to
# build-fuzz/fuzz-artifacts.
set -eu
SOURCE_DIR=$(cd "$(dirname "$0")/../.." && pwd)
BUILD_DIR=${FUZZ_BUILD_DIR:-$SOURCE_DIR/build-fuzz}
SECONDS_TO_RUN=${FUZZ_SECONDS:-60}
TARGET=${FUZZ_TARGET:-texture_library}
case "$TARGET" in
  texture_library) SEEDS=$SOURCE_DIR/tests/fuzz/corpus; FOUND=$BUILD_DIR/fuzz-corpus ;;
  overlay_image) SEEDS=$SOURCE_DIR/tests/fuzz/bmp_corpus; FOUND=$BUILD_DIR/fuzz-corpus-$TARGET ;;
  *) echo "run_fuzz: unknown FUZZ_TARGET $TARGET" >&2; exit 2 ;;
esac

if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$SOURCE_DIR" -B "$BUILD_DIR" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTERRAIN3D_BUILD_TESTS=ON
fi
ninja -C "$BUILD_DIR" texture_library_fuzz texture_library_corpus overlay_image_fuzz

# Regenerate the seeds with: build-fuzz/texture_library_corpus tests/fuzz/corpus
mkdir -p "$FOUND" "$BUILD_DIR/fuzz-artifacts"
# Every input is written to a file: keep that file in memory when possible.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export TMPDIR=/dev/shm
fi
cd "$BUILD_DIR"
exec ./${TARGET}_fuzz -max_total_time="$SECONDS_TO_RUN" -rss_limit_mb=2048 -timeout=10 \
  -max_len=8192 -print_final_stats=1 -artifact_prefix="$BUILD_DIR/fuzz-artifacts/" \
  "$FOUND" "$SEEDS"
