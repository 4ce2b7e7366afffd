#!/usr/bin/env bash
# Fuzzes the Paradox table reader (or, with TARGET check, the table health check) with
# libFuzzer for SECONDS (default 60) on one core:  fuzz-reader.sh [SECONDS [reader|check]]
# Needs clang and libclang-rt-14-dev. Builds into build-fuzz/ (override with FW_FUZZ_DIR);
# findings land in build-fuzz/findings/: copy each one into tests/data/paradox/fuzz_regressions/
# after fixing it, so that the test suite reads it on every run.
set -euo pipefail

seconds="${1:-60}"
target="${2:-reader}"
case "$target" in
  reader|check) ;;
  *) echo "usage: $0 [SECONDS [reader|check]]" >&2; exit 2 ;;
esac
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${FW_FUZZ_DIR:-$root/build-fuzz}"
# The reader keeps its corpus where it always had it.
corpus="$out/corpus"
[ "$target" = reader ] || corpus="$out/corpus-$target"
mkdir -p "$corpus" "$out/findings"

# The whole codec: the check reaches most of it.
cd "$root"
sources=(tests/fuzz/"${target}"_fuzz.cpp data/paradox/*/*.cpp)
scripts/install-deps.sh fuzz
# shellcheck disable=SC2046 # pkg-config output is a list of flags
clang++ -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root" $(pkg-config --cflags Qt6Core) "${sources[@]}" -o "$out/${target}_fuzz" $(pkg-config --libs Qt6Core)

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
"$out/${target}_fuzz" -max_total_time="$seconds" -workers=1 -jobs=1 -timeout=10 -rss_limit_mb=2048 \
  -max_len=65536 -artifact_prefix="$out/findings/" "$corpus" "$seeds" "$root/tests/data/paradox/fuzz_regressions"
