#!/usr/bin/env bash
# Fuzzes the Paradox table reader with libFuzzer for SECONDS (default 60) on one core.
# Needs clang and libclang-rt-14-dev. Builds into build-fuzz/ (override with FW_FUZZ_DIR);
# findings land in build-fuzz/findings/: copy each one into tests/data/fuzz_regressions/
# after fixing it, so that the test suite reads it on every run.
set -euo pipefail

seconds="${1:-60}"
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${FW_FUZZ_DIR:-$root/build-fuzz}"
mkdir -p "$out/corpus" "$out/findings"

sources=(
  tests/fuzz/reader_fuzz.cpp
  data/paradox/byte_reader.cpp data/paradox/code_page.cpp data/paradox/data_block.cpp
  data/paradox/field_decode.cpp data/paradox/find_table.cpp data/paradox/header.cpp
  data/paradox/memo_file.cpp data/paradox/table_reader.cpp data/paradox/value_text.cpp
)
cd "$root"
scripts/install-deps.sh fuzz
# shellcheck disable=SC2046 # pkg-config output is a list of flags
clang++ -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root" $(pkg-config --cflags Qt6Core) "${sources[@]}" -o "$out/reader_fuzz" $(pkg-config --libs Qt6Core)

# The starting corpus comes from the test suite's table builder.
seeds="$out/seeds"
if [ ! -d "$seeds" ]; then
  tests="${FW_TEST_BINARY:-$root/build/tests/paradox_reader_tests}"
  if [ -x "$tests" ]; then
    FW_FUZZ_SEEDS="$seeds" "$tests" --gtest_also_run_disabled_tests --gtest_filter='ReaderFuzzSeeds.*' > /dev/null
  else
    echo "note: $tests not built; starting from the regression inputs only" >&2
    mkdir -p "$seeds"
  fi
fi

# With -jobs, libFuzzer writes its log (fuzz-0.log) into the working folder.
cd "$out"
"$out/reader_fuzz" -max_total_time="$seconds" -workers=1 -jobs=1 -timeout=10 -rss_limit_mb=2048 \
  -max_len=65536 -artifact_prefix="$out/findings/" "$out/corpus" "$seeds" "$root/tests/data/fuzz_regressions"
