#!/usr/bin/env bash
# Line coverage of the decoder (engine/ac3/) by the committed corpora: builds the decoder and
# stream-information targets with clang's source-based coverage (no sanitizers, the fuzzing mode's
# open CRC gate), runs each once over its corpus and seeds, and prints llvm-cov's report.
#   fuzz/coverage.sh [BUILD_DIR]      (default build-fuzz-cov)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-fuzz-cov}
flags="-fprofile-instr-generate -fcoverage-mapping"
CXX=clang++ CC=clang cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQELP_FUZZ=ON \
  -DQELP_GUI=OFF -DQELP_BUILD_TESTS=OFF -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
cmake --build "$build" -j 2 --target fuzz_decoder fuzz_decoder_parse fuzz_stream_info
rm -f "$build"/cov-*.profraw
targets=(fuzz_decoder fuzz_decoder_parse fuzz_stream_info)
for t in "${targets[@]}"; do
  mapfile -t dirs < <("$root/scripts/run-fuzzers.sh" --seed-dirs "$t")
  LLVM_PROFILE_FILE="$build/cov-$t.profraw" "$build/fuzz/$t" -runs=0 "${dirs[@]}" 2>/dev/null
done
llvm-profdata merge -sparse "$build"/cov-*.profraw -o "$build/cov.profdata"
objects=()
for t in "${targets[@]:1}"; do objects+=(-object "$build/fuzz/$t"); done
llvm-cov report "$build/fuzz/${targets[0]}" "${objects[@]}" -instr-profile="$build/cov.profdata" \
  "$root"/engine/ac3/*.cpp "$root"/engine/ac3/*.h
