#!/usr/bin/env bash
# Load on the local service over loopback: /feed and /jobs/<id> under 32 connections for 10 s
# each (wrk), next to a peer: python3's static http.server handing out the same feed bytes. Ends
# with tab-separated RESULT lines that bench/run collects.
# Usage: bench/service/run.sh [BIN_DIR]   (default: build/bin)
set -euo pipefail
cd "$(dirname "$0")/../.."
bin=${1:-build/bin}
duration=${BENCH_DURATION:-10s}
connections=32
work=$(mktemp -d /tmp/quorvel-bench.XXXXXX)
service_pid='' peer_pid=''
cleanup() {
  set +e # a peer stopped by its signal must not become this script's exit status
  [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null && wait "$service_pid" 2>/dev/null
  [ -n "$peer_pid" ] && kill "$peer_pid" 2>/dev/null && wait "$peer_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

"$bin/quorvel-service" --data "$work/data" --port 0 --instant --free-credits 100 >"$work/port" 2>"$work/service.log" &
service_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(head -n1 "$work/port")
base=http://127.0.0.1:$port
machine=BENCH-MACHINE

json() { python3 -c "import json,sys; print(json.load(sys.stdin)[sys.argv[1]])" "$1"; }
token=$(curl -sf -XPOST "$base/enroll" -H 'Content-Type: application/json' -d "{\"machine\":\"$machine\"}" | json token)
job=''
for i in 1 2 3 4 5 6 7 8; do
  job=$(curl -sf -XPOST "$base/generate" -H "Authorization: Bearer $token" -H 'Content-Type: application/json' \
    -d "{\"prompt\":\"bench clip $i\",\"style\":\"noir\",\"motion\":\"orbit\",\"vibe\":\"epic\",\"lite\":true,\"handle\":\"bench\",\"soundscape\":\"none\",\"user\":\"$machine\"}" | json job)
  clip=$(curl -sf "$base/jobs/$job" | json clip)
  curl -sf -XPATCH "$base/publish" -H "Authorization: Bearer $token" -H 'Content-Type: application/json' \
    -d "{\"url\":\"$clip\",\"title\":\"Bench $i\",\"user\":\"$machine\"}" >/dev/null
done
feed_path="/feed?t=$(date +%s)&user=$machine"
videos=$(curl -sf "$base$feed_path" | python3 -c 'import json,sys; print(len(json.load(sys.stdin)["videos"]))')

# The peer serves the very same feed bytes as a static file.
mkdir -p "$work/peer"
curl -sf "$base$feed_path" >"$work/peer/feed.json"
peer_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
python3 -m http.server "$peer_port" --bind 127.0.0.1 --directory "$work/peer" >/dev/null 2>&1 &
peer_pid=$!
for _ in $(seq 50); do curl -sf "http://127.0.0.1:$peer_port/feed.json" >/dev/null && break; sleep 0.1; done

# wrk prints "Requests/sec:" and, with --latency, a "99%" percentile line.
measure() {
  local out
  out=$(wrk -t2 -c"$connections" -d"$duration" --latency "$1")
  local rps p99 errors
  rps=$(awk '/Requests\/sec:/ {print $2}' <<<"$out")
  p99=$(awk '$1 == "99%" {print $2}' <<<"$out")
  errors=$(grep -E 'Non-2xx|Socket errors' <<<"$out" | tr '\n' ' ' || true)
  printf '%s %s %s\n' "$rps" "$p99" "$errors"
}

echo "quorvel-service bench: $connections connections, $duration per endpoint, feed of $videos clips"
read -r feed_rps feed_p99 feed_err < <(measure "$base$feed_path")
read -r job_rps job_p99 job_err < <(measure "$base/jobs/$job")
read -r peer_rps peer_p99 peer_err < <(measure "http://127.0.0.1:$peer_port/feed.json")
printf '%-34s %12s %10s  %s\n' endpoint requests/s p99 notes
printf '%-34s %12s %10s  %s\n' "/feed (quorvel-service)" "$feed_rps" "$feed_p99" "$feed_err"
printf '%-34s %12s %10s  %s\n' "/jobs/<id> (quorvel-service)" "$job_rps" "$job_p99" "$job_err"
printf '%-34s %12s %10s  %s\n' "feed.json (python3 http.server)" "$peer_rps" "$peer_p99" "$peer_err"
python3 -c "print('feed throughput ratio, service / peer: %.2f' % (float('$feed_rps') / float('$peer_rps')))"
# Tab-separated lines for bench/run: measure, ours, peer, ratio, target, met. No target is set for these.
python3 - "$feed_rps" "$peer_rps" "$feed_p99" "$peer_p99" "$job_rps" "$job_p99" "$connections" <<'PY'
import sys
feed, peer, feed_p99, peer_p99, job, job_p99, conns = sys.argv[1:]
print(f"RESULT\tservice: /feed requests/s, {conns} connections (vs python3 http.server)\t{float(feed):,.0f}\t"
      f"{float(peer):,.0f}\t{float(feed) / float(peer):.1f}\t-\t-")
print(f"RESULT\tservice: /feed p99 latency\t{feed_p99}\t{peer_p99}\t-\t-\t-")
print(f"RESULT\tservice: /jobs/<id> requests/s, p99\t{float(job):,.0f}, {job_p99}\t-\t-\t-\t-")
PY
