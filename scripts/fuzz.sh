#!/usr/bin/env bash
# Builds the input-reading code natively with clang as libFuzzer targets
# under AddressSanitizer and UndefinedBehaviorSanitizer, and runs each one.
# Usage: scripts/fuzz.sh [--runs N | --seconds S] [build-dir]
#   default: 200000 runs per target (a smoke run, as the test command does)
set -euo pipefail
source "$(dirname "$0")/lib/on-error.sh"
root=$(cd "$(dirname "$0")/.." && pwd)
limit=(-runs=200000)
case "${1:-}" in
  --runs) limit=(-runs="$2"); shift 2 ;;
  --seconds) limit=(-max_total_time="$2"); shift 2 ;;
esac
build=${1:-$root/build-fuzz}

"$root/scripts/install-deps.sh"
cmake -S "$root/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j "$(nproc)"

for target in command_line envelope message_writer region percent_encode log_cap verify_response dev_verify_host; do
  # The seeds are copied, so the fuzzer's finds stay out of the repository.
  corpus=$(mktemp -d)
  cp "$root/fuzz/corpus/$target/"* "$corpus/"
  echo "fuzz: $target"
  if ! "$build/fuzz_$target" "${limit[@]}" -max_len=4096 -print_final_stats=0 "$corpus" \
       >"$build/fuzz_$target.log" 2>&1; then
    tail -n 40 "$build/fuzz_$target.log"
    rm -rf "$corpus"
    exit 1
  fi
  tail -n 1 "$build/fuzz_$target.log"
  rm -rf "$corpus"
done
