#!/usr/bin/env bash
# Prints the real local AI service's figures: model load at start-up, per
# photo times of auto tags and faces after a warm-up (the photos of
# samples/ai and a 12 MP JPEG made from one of them), and resident memory.
# The service runs on its own port with a private profile.
# Usage: bench/ai_bench.sh [build folder] [rounds]
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath "${1:-$repo/build}")"
rounds="${2:-5}"
port=44112
launcher="$build/Quillmark.AutoTagging.Service"
[[ -x "$launcher" ]] || { echo "ai_bench: $launcher is missing (scripts/build)" >&2; exit 1; }
work="$(mktemp -d)"
export XDG_DATA_HOME="$work/profile" QLM_AI_SERVICE_PORT=$port QLM_AI_SERVICE_LOG="$work/service.log"
launcher_pid=""
trap '[[ -n $launcher_pid ]] && kill "$launcher_pid" 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$XDG_DATA_HOME/Verandel/Quillmark/Settings"
printf '{"apps":[{"app_id":"insightor","settings":{"people_recognition.enabled":true,"people_recognition.consent_accepted":true}}]}\n' \
  > "$XDG_DATA_HOME/Verandel/Quillmark/Settings/High Level Settings.json"
cp "$repo"/samples/ai/*.jpg "$work/"
convert "$repo/samples/ai/eileen_collins.jpg" -resize 4000x3000! -quality 92 "$work/twelve_megapixels.jpg"
# Group photos made of the portraits: six people, and three beside a cup, a rocket and a cat.
ai="$repo/samples/ai"
montage "$ai/eileen_collins.jpg" "$ai/cameraman.jpg" "$ai/eileen_collins_twin.jpg" "$ai/cameraman.jpg" \
  "$ai/eileen_collins.jpg" "$ai/cameraman.jpg" -tile 3x2 -geometry 400x400+10+10 "$work/group_of_6.jpg"
montage "$ai/eileen_collins.jpg" "$ai/cameraman.jpg" "$ai/eileen_collins_twin.jpg" "$ai/coffee.jpg" \
  "$ai/rocket_launch.jpg" "$ai/chelsea_the_cat.jpg" -tile 3x2 -geometry 400x400+10+10 "$work/group_of_3.jpg"

"$launcher" & launcher_pid=$!
until grep -q "models loaded" "$work/service.log" 2>/dev/null; do
  kill -0 "$launcher_pid" 2>/dev/null || { cat "$work/service.log"; exit 1; }
  sleep 0.2
done
echo "model load at start-up: $(sed -n 's/.*models loaded in \([0-9]*\) ms/\1/p' "$work/service.log") ms"
python3 - "$port" "$rounds" "$work"/*.jpg <<'PY'
import os, socket, statistics, sys, time
port, rounds, photos = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3:]
def ask(line):
    s = socket.create_connection(("127.0.0.1", port))
    start = time.perf_counter()
    s.sendall(line.encode() + b"\n")
    data = b""
    while chunk := s.recv(4096):
        data += chunk
    return (time.perf_counter() - start) * 1000, data.decode().strip()
print(f"{'photo':<26} {'pixels':>10} {'auto tags ms':>13} {'faces ms':>9}  answer")
for photo in photos:
    ask(photo); ask("FACE:" + photo)  # warm-up (and learning from the folder)
    tags = [ask(photo) for _ in range(rounds)]
    faces = [ask("FACE:" + photo) for _ in range(rounds)]
    size = os.popen(f"identify -format '%wx%h' '{photo}'").read()
    print(f"{os.path.basename(photo):<26} {size:>10} {statistics.median(t for t, _ in tags):>13.0f} "
          f"{statistics.median(t for t, _ in faces):>9.0f}  {tags[0][1][:60]} {faces[0][1][:70]}")
PY
service_pid="$(pgrep -P "$launcher_pid" | head -1)"
grep -E 'VmRSS|VmHWM' "/proc/$service_pid/status" | sed 's/^/service (node) /'
