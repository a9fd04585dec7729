#!/usr/bin/env bash
# check_package.sh BUILD_DIR: builds both Debian packages from an existing build (cpack: install into
# a staging root, strip, dpkg-shlibdeps), lints them, compares their file lists with what they must
# hold, and runs the unpacked files: the daemons' hack plays the bundled clip, and the app starts
# from the package's folder without offering a move.
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(readlink -f "$(mktemp -d "${TMPDIR:-/tmp}/quorvel-package.XXXXXX")")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
[ -n "$version" ] || { echo "no CPackConfig.cmake in $build" >&2; exit 1; }
(cd "$build" && cpack -G DEB -B "$work/dist" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; exit 1; }
arch=$(dpkg --print-architecture)
app_deb=$work/dist/quorvel_${version}_${arch}.deb
service_deb=$work/dist/quorvel-service_${version}_${arch}.deb
for deb in "$app_deb" "$service_deb"; do
  [ -f "$deb" ] || { fail "$(basename "$deb") was not made: $(ls "$work/dist")"; exit 1; }
done

# Lintian: no error; a warning only when README's packaging section names and justifies it.
justified_warnings=()
lintian --tag-display-limit 0 "$app_deb" "$service_deb" >"$work/lintian.txt" 2>&1 || true
cat "$work/lintian.txt"
if grep -q '^E: ' "$work/lintian.txt"; then fail "lintian reports errors"; fi
while read -r tag; do
  [[ " ${justified_warnings[*]-} " == *" $tag "* ]] || fail "lintian warning $tag is not justified in README"
done < <(sed -n 's/^W: [^:]*: \([a-z0-9-]*\).*/\1/p' "$work/lintian.txt" | sort -u)

# Each package holds exactly its files (directories aside): a stray test binary or a missing entry fails.
bundle=usr/lib/quorvel/Quorvel.app/Contents
extension=$bundle/PlugIns/QuorvelExtension.appex/Contents
expected_app=(
  "$bundle/Info.plist" "$bundle/MacOS/Quorvel" "$bundle/MacOS/quorvel-pluginkit" "$bundle/MacOS/quorvel-saver"
  "$bundle/Resources/Quorvel.png"
  "$extension/Info.plist" "$extension/MacOS/libQuorvelExtension.so" "$extension/Resources/QuorvelSample.mp4"
  "usr/bin/quorvel -> ../lib/quorvel/Quorvel.app/Contents/MacOS/Quorvel"
  "usr/bin/quorvel-pluginkit -> ../lib/quorvel/Quorvel.app/Contents/MacOS/quorvel-pluginkit"
  "usr/bin/quorvel-saver -> ../lib/quorvel/Quorvel.app/Contents/MacOS/quorvel-saver"
  usr/libexec/xscreensaver/quorvel
  usr/share/applications/com.quorvel.Quorvel.desktop
  usr/share/applications/screensavers/quorvel.desktop
  usr/share/metainfo/com.quorvel.Quorvel.metainfo.xml
  usr/share/xscreensaver/config/quorvel.xml
  usr/share/doc/quorvel/copyright usr/share/doc/quorvel/changelog.gz
  usr/share/man/man1/quorvel.1.gz usr/share/man/man1/quorvel-saver.1.gz usr/share/man/man1/quorvel-pluginkit.1.gz
)
for size in 16 24 32 48 64 128 256 512; do
  expected_app+=("usr/share/icons/hicolor/${size}x${size}/apps/com.quorvel.Quorvel.png")
done
expected_service=(
  usr/bin/quorvel-service usr/lib/systemd/user/quorvel-service.service
  usr/share/doc/quorvel-service/copyright usr/share/doc/quorvel-service/changelog.gz
  usr/share/man/man1/quorvel-service.1.gz
)
contents() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ { $1=$2=$3=$4=$5=""; sub(/^ *\.\//, ""); print }' | sort; }
compare() {
  local deb=$1
  shift
  diff <(printf '%s\n' "$@" | sort) <(contents "$deb") >"$work/diff.txt" || {
    fail "$(basename "$deb") holds other files than it must (< missing, > unexpected):"
    cat "$work/diff.txt" >&2
  }
}
compare "$app_deb" "${expected_app[@]}"
compare "$service_deb" "${expected_service[@]}"

# The control fields: the one version, the run-time packages no library names, nothing for tests.
depends=$(dpkg-deb -f "$app_deb" Depends)
echo "quorvel Depends: $depends"
for needed in libqt6multimedia6 gstreamer1.0-plugins-good gstreamer1.0-plugins-bad gstreamer1.0-libav \
  "gnome-keyring | kwalletmanager" psmisc; do
  [[ ", $depends," == *", $needed"[\ ,]* ]] || fail "quorvel does not depend on $needed"
done
for test_only in googletest libgtest-dev xvfb ffmpeg clang; do
  [[ ", $depends," != *", $test_only"[\ ,]* ]] || fail "quorvel depends on $test_only, which only the tests need"
done
[ "$(dpkg-deb -f "$app_deb" Version)" = "$version" ] || fail "quorvel's version is not $version"
echo "quorvel-service Depends: $(dpkg-deb -f "$service_deb" Depends)"

root=$work/root
dpkg-deb -x "$app_deb" "$root"
dpkg-deb -x "$service_deb" "$root"
desktop-file-validate "$root"/usr/share/applications/com.quorvel.Quorvel.desktop \
  "$root"/usr/share/applications/screensavers/quorvel.desktop || fail "a desktop entry is not valid"
appstreamcli validate --no-net "$root"/usr/share/metainfo/com.quorvel.Quorvel.metainfo.xml >"$work/appstream.txt" 2>&1 ||
  { cat "$work/appstream.txt" >&2; fail "the AppStream file is not valid"; }
# By its path: a bare "quorvel" would be looked up on the PATH, where /usr/bin/quorvel is the app.
grep -qx "Exec=/usr/libexec/xscreensaver/quorvel" "$root"/usr/share/applications/screensavers/quorvel.desktop ||
  fail "the screensaver theme entry does not start the hack by its path"
grep -q "^ExecStart=/usr/bin/quorvel-service --data %h/.local/share/quorvel-service --port [0-9]" \
  "$root"/usr/lib/systemd/user/quorvel-service.service || fail "the user unit does not start the service on its port"
# The unit as the user manager would load it, its program at its unpacked place (its manual page
# is not installed here).
if command -v systemd-analyze >/dev/null; then
  sed "s|/usr/bin/quorvel-service|$root/usr/bin/quorvel-service|" "$root"/usr/lib/systemd/user/quorvel-service.service \
    >"$work/quorvel-service.service"
  systemd-analyze --user verify --man=no "$work/quorvel-service.service" || fail "systemd does not accept the user unit"
fi

# The programs run from a fresh home, against a service that is not there, so the module falls
# back to its sample clip.
mkdir -p "$work"/{home,runtime,cache}
chmod 700 "$work/runtime"
run_env=(env HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" XDG_CACHE_HOME="$work/cache"
  XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
  QUORVEL_SERVICE_URL=http://127.0.0.1:9 QUORVEL_CDN_URL=http://127.0.0.1:9/cdn/ QT_QPA_PLATFORM=offscreen)
# wait_for LOG PATTERN SECONDS: whether the line appears in time.
wait_for() {
  for _ in $(seq $(($3 * 10))); do
    grep -q "$2" "$1" && return 0
    sleep 0.1
  done
  return 1
}
stop() { kill "$1" 2>/dev/null || true; wait "$1" 2>/dev/null || true; }

# The daemons' hack, found through its own place, plays the sample clip of the unpacked module.
"${run_env[@]}" "$root/usr/libexec/xscreensaver/quorvel" --preview >"$work/saver.log" 2>&1 &
pids+=($!)
if wait_for "$work/saver.log" "item ready" 20; then
  grep -q "playing file://$root/$extension/Resources/QuorvelSample.mp4" "$work/saver.log" ||
    fail "the hack played something else than the unpacked sample clip"
else
  fail "the hack did not play the bundled clip"
fi
stop "${pids[-1]}"
echo "--- saver"; cat "$work/saver.log"

# The app through /usr/bin/quorvel finds its bundle and the registry tool inside it.
"${run_env[@]}" "$root/usr/bin/quorvel" >"$work/app.log" 2>&1 &
pids+=($!)
wait_for "$work/app.log" "pluginkit registration:" 20 || fail "the app did not reach its main window"
grep -q "App needs relocation. Running path: $root/usr/lib/quorvel/Quorvel.app$" "$work/app.log" ||
  fail "the app did not find its bundle through /usr/bin/quorvel"
stop "${pids[-1]}"
echo "--- app from the unpacked root"; cat "$work/app.log"

# From the package's own folder it offers no move: the unpacked files laid over /usr/lib in a private
# mount namespace (needs root), so nothing outside this run sees them.
if [ "$(id -u)" -eq 0 ] && unshare -m true 2>/dev/null; then
  rm -rf "$work/runtime"/* "$work/home"
  mkdir -p "$work/home"
  unshare -m sh -c 'mount -t overlay overlay -o "lowerdir=$1/usr/lib:/usr/lib" /usr/lib && shift && exec "$@"' \
    sh "$root" "${run_env[@]}" /usr/lib/quorvel/Quorvel.app/Contents/MacOS/Quorvel >"$work/installed.log" 2>&1 &
  pids+=($!)
  wait_for "$work/installed.log" "pluginkit registration:" 20 || fail "the app in /usr/lib/quorvel did not start"
  ! grep -q "App needs relocation" "$work/installed.log" || fail "the app in /usr/lib/quorvel offers a move"
  stop "${pids[-1]}"
  echo "--- app from /usr/lib/quorvel"; cat "$work/installed.log"
else
  echo "not root: the start from /usr/lib/quorvel itself is left to the app's tests"
fi

ls -l "$work/dist"
[ "$failures" -eq 0 ]
