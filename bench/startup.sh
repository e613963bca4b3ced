#!/usr/bin/env bash
# Prints the mean wall time of `qlm --version` and of a usage error over 200
# runs each, in a private profile, beside the cost of starting /bin/true, and
# of one real command (`rate get` on a JPEG), which loads the whole engine.
# Usage: bench/startup.sh [path/to/qlm]
set -euo pipefail
qlm="${1:-$(dirname "$0")/../build/qlm}"
profile="$(mktemp -d)"
trap 'rm -rf "$profile"' EXIT
export XDG_DATA_HOME="$profile" HOME="$profile"
measure() {
  local label="$1"; shift
  local runs=200 start end
  start=$(date +%s%N)
  for ((i = 0; i < runs; i++)); do "$@" >/dev/null 2>&1 || true; done
  end=$(date +%s%N)
  awk -v l="$label" -v ns=$((end - start)) -v n=$runs 'BEGIN { printf "%-28s %.2f ms per run (%d runs)\n", l, ns / n / 1e6, n }'
}
measure "baseline (/bin/true)" /bin/true
measure "qlm --version" "$qlm" --version
measure "usage error (qlm tag)" "$qlm" tag
measure "help --json" "$qlm" help --json
cp "$(dirname "$0")/../samples/harbour.jpg" "$profile/"
measure "rate get (one JPEG)" "$qlm" rate get "$profile/harbour.jpg"
