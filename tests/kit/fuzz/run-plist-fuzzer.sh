#!/usr/bin/env bash
# Builds the property-list fuzzer with clang in its own build folder and runs it for a while.
# Usage: run-plist-fuzzer.sh [SECONDS] [BUILD_DIR]   (defaults: 25, <source>/build-fuzz)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../../.." && pwd)
seconds=${1:-25}
build_dir=${2:-$source_dir/build-fuzz}
if ! command -v clang++ >/dev/null; then
  echo "run-plist-fuzzer: clang++ is not installed" >&2
  exit 1
fi
if [ ! -f "$build_dir/build.ninja" ]; then
  cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQUORVEL_BUILD_FUZZERS=ON >/dev/null
fi
cmake --build "$build_dir" -j2 --target kit_plist_fuzzer >/dev/null

corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
# Seeds: a nested store-like document in both formats.
python3 - "$corpus" <<'PY'
import plistlib, sys, datetime, os
conf = plistlib.dumps({"module": {"relative": "file:///L/F.saver"}}, fmt=plistlib.FMT_BINARY)
choice = {"Content": {"Choices": [{"Configuration": conf, "Files": [], "Provider": "p"}]},
          "LastSet": datetime.datetime(2024, 5, 17, 9, 30, 12)}
store = {"AllSpacesAndDisplays": {"Type": "idle", "Idle": choice}, "SystemDefault": {"Type": "individual"},
         "Spaces": {"": {"Default": {"Idle": choice}, "Displays": {"D": {"Type": "individual"}}}},
         "n": -5, "r": 2.5, "b": True, "big": 2**63 + 1}
for name, fmt in (("bin", plistlib.FMT_BINARY), ("xml", plistlib.FMT_XML)):
    open(os.path.join(sys.argv[1], name), "wb").write(plistlib.dumps(store, fmt=fmt))
PY
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
"$build_dir/bin/kit_plist_fuzzer" -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 "$corpus"
