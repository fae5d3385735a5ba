#!/usr/bin/env bash
# Rewrites the reference pictures of the picture tests from the current build (build/), on
# purpose: look at every picture in tests/reference/ before committing them.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build --target render_test
mkdir -p tests/reference
TERRAIN3D_UPDATE_REFERENCES=1 ./build/tests/render_test --gtest_filter='PictureTest.Synthetic*:PictureTest.Jacksboro*:PictureTest.Olinda*'
cmake --build build --target texture_test
TERRAIN3D_UPDATE_REFERENCES=1 ./build/tests/texture_test --gtest_filter='TextureTest.Olinda*'
cmake --build build --target note_layer_test
TERRAIN3D_UPDATE_REFERENCES=1 ./build/tests/note_layer_test
ls -l tests/reference
