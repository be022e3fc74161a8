#!/usr/bin/env bash
# Compares fetchunpack with its peers on a 200 MB archive served from 127.0.0.1: the download
# against "curl -o", the extraction of a 200 MB member (stored, and deflated) against
# "unzip -o". Best of 3 runs each; prints the times, the ratios to the peers and the peak
# memory of fetchunpack. fetchunpack always downloads before it extracts, so its extraction
# time is the time of a run with the member less the time of a run without it.
#
# Usage: bench/bench_fetchunpack.sh [FETCHUNPACK_BINARY]
#        (BENCH_SIZE_MB=200 and BENCH_RUNS=3 by default)
# Wall-clock times swing on a busy machine; the CPU seconds (user + system) beside them are
# steadier.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$(realpath "${1:-${FETCHUNPACK:-$root/build/fetchunpack/fetchunpack}}")
size_mb=${BENCH_SIZE_MB:-200}
runs=${BENCH_RUNS:-3}
for tool in /usr/bin/python3 /usr/bin/time curl unzip; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

work=$(mktemp -d /tmp/bench_fetchunpack.XXXXXX)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "Preparing ${size_mb} MB archives in $work ..."
/usr/bin/python3 - "$work/srv" "$size_mb" <<'PY'
import os, random, sys, zipfile
folder, size = sys.argv[1], int(sys.argv[2]) * 1000 * 1000
os.makedirs(folder)
with zipfile.ZipFile(os.path.join(folder, "stored.zip"), "w", zipfile.ZIP_STORED) as z:
    with z.open(zipfile.ZipInfo("member.bin", (2000, 1, 1, 0, 0, 0)), "w", force_zip64=True) as f:
        left = size
        while left:
            piece = os.urandom(min(left, 1 << 20))
            f.write(piece)
            left -= len(piece)
# River-data-like text, which deflates the way the published archives do.
rng = random.Random(5)
info = zipfile.ZipInfo("member.xml", (2000, 1, 1, 0, 0, 0))
info.compress_type = zipfile.ZIP_DEFLATED
with zipfile.ZipFile(os.path.join(folder, "deflated.zip"), "w") as z:
    with z.open(info, "w", force_zip64=True) as f:
        written = 0
        while written < size:
            lines = "".join(f"<gml:pos>{35 + rng.random():.7f} {139 + rng.random():.7f}</gml:pos>\n"
                            for _ in range(20000))
            data = lines.encode()[: size - written]
            f.write(data)
            written += len(data)
PY
ls -l "$work/srv"

port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
# A file server that sends with sendfile(2), so that the clients rather than the server set
# the pace.
cat > "$work/server.py" <<'PY'
import http.server, sys
class Handler(http.server.SimpleHTTPRequestHandler):
    def copyfile(self, source, outputfile):
        outputfile.flush()
        self.connection.sendfile(source)
    def log_message(self, *args):
        pass
http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), Handler).serve_forever()
PY
(cd "$work/srv" && exec /usr/bin/python3 "$work/server.py" "$port" >/dev/null 2>&1) &
server_pid=$!
base="http://127.0.0.1:$port"
for _ in $(seq 50); do curl -s -o /dev/null "$base/" && break; sleep 0.1; done

unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY
export FETCHUNPACK_RETRY_DELAY=1

# Runs "$@" once in a fresh output folder; sets seconds, cpu (user + system seconds) and kb
# (peak memory).
run_once() {
  rm -rf "$work/out" && mkdir "$work/out"
  sync
  local start end
  start=$(date +%s%N)
  (cd "$work/out" && /usr/bin/time -f "%M %U %S" -o "$work/time.txt" "$@" >/dev/null 2>"$work/err.txt") ||
    { cat "$work/err.txt" >&2; exit 1; }
  end=$(date +%s%N)
  seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
  read -r kb user system < <(tail -n 1 "$work/time.txt")
  cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }')
}

# The commands of one comparison take turns, so that a busy moment of the machine does not
# fall on one of them only. best[i] is the best time of command i, bestcpu[i] its least CPU
# time, peak[i] its peak memory.
compare() {
  local count=$# i round
  best=(); bestcpu=(); peak=()
  for round in $(seq $runs); do
    for ((i = 1; i <= count; ++i)); do
      eval "run_once ${!i}"
      if [ -z "${best[$i]:-}" ] || awk -v s="$seconds" -v b="${best[$i]}" 'BEGIN { exit !(s < b) }'; then
        best[$i]=$seconds
      fi
      if [ -z "${bestcpu[$i]:-}" ] || awk -v s="$cpu" -v b="${bestcpu[$i]}" 'BEGIN { exit !(s < b) }'; then
        bestcpu[$i]=$cpu
      fi
      if [ "$kb" -gt "${peak[$i]:-0}" ]; then peak[$i]=$kb; fi
    done
  done
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
report() {  # name, fetchunpack seconds, peer seconds, peer name, fetchunpack peak KB, CPU seconds of both
  printf "%-28s fetchunpack %7.3f s   %-8s %7.3f s   ratio %s (target <= 1.15)   peak %5.1f MB (target < 32)   CPU %s s / %s s\n" \
    "$1" "$2" "$4" "$3" "$(ratio "$2" "$3")" "$(awk -v k="$5" 'BEGIN { printf "%.1f", k / 1024 }')" "$6" "$7"
}

echo "Best of $runs runs, ${size_mb} MB:"
compare "curl -s -o stored.zip '$base/stored.zip'" "'$bin' '$base/stored.zip' ."
report "download" "${best[2]}" "${best[1]}" "curl -o" "${peak[2]}" "${bestcpu[2]}" "${bestcpu[1]}"

for kind in stored deflated; do
  member=$([ $kind = stored ] && echo member.bin || echo member.xml)
  cp "$work/srv/$kind.zip" "$work/$kind.zip"
  compare "unzip -o -q '$work/$kind.zip' $member" "'$bin' '$base/$kind.zip' ." \
    "'$bin' '$base/$kind.zip' . $member"
  extraction=$(awk -v a="${best[3]}" -v b="${best[2]}" 'BEGIN { printf "%.3f", a - b }')
  extraction_cpu=$(awk -v a="${bestcpu[3]}" -v b="${bestcpu[2]}" 'BEGIN { printf "%.2f", a - b }')
  report "extraction ($kind member)" "$extraction" "${best[1]}" "unzip -o" "${peak[3]}" \
    "$extraction_cpu" "${bestcpu[1]}"
done
