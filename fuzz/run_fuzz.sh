#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for a
# bounded time on a scratch copy of its seed corpus. Exits non-zero when a
# target crashes, leaks or fails to build.
#
#   fuzz/run_fuzz.sh [seconds per target, default 30]
#   QLM_FUZZ_TARGETS="write_path_fuzzer" fuzz/run_fuzz.sh 1800   (one target, longer)
#
# Needs clang and Debian's libclang-rt-14-dev (libFuzzer's runtime).
set -euo pipefail

seconds="${1:-30}"
here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(dirname "$here")"
build_dir="${QLM_FUZZ_BUILD:-$source_dir/build-fuzz}"

CC=clang CXX=clang++ cmake -S "$source_dir" -B "$build_dir" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQLM_FUZZ=ON -DQLM_BUILD_TESTS=OFF >/dev/null
targets="${QLM_FUZZ_TARGETS:-job_file_fuzzer settings_fuzzer xmp_text_fuzzer jpeg_head_fuzzer write_path_fuzzer xmp_property_fuzzer service_reply_fuzzer undo_journal_fuzzer geodata_fuzzer cue_sheet_fuzzer ico_fuzzer pe_icon_fuzzer png_fuzzer proc_net_tcp_fuzzer}"
# shellcheck disable=SC2086
cmake --build "$build_dir" -j2 --target $targets

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

status=0
for target in $targets; do
  corpus_name="${target%_fuzzer}"
  mkdir -p "$scratch/$corpus_name" "$scratch/artifacts-$corpus_name"
  cp "$here/corpus/$corpus_name/"* "$scratch/$corpus_name/"
  echo "== $target for ${seconds}s"
  if ! "$build_dir/$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
      -artifact_prefix="$scratch/artifacts-$corpus_name/" -print_final_stats=1 \
      "$scratch/$corpus_name" 2>"$scratch/$target.log"; then
    status=1
    tail -n 40 "$scratch/$target.log"
    mkdir -p "$build_dir/artifacts"
    cp "$scratch/artifacts-$corpus_name/"* "$build_dir/artifacts/" 2>/dev/null || true
    echo "!! $target failed; reproducers in $build_dir/artifacts/"
  else
    grep -E '^stat::number_of_executed_units|^Done' "$scratch/$target.log" || true
  fi
done
exit "$status"
