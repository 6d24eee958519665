#!/usr/bin/env bash
# The installed files and the Debian package, checked with Debian's own
# validators, and the packaged program started on a private Xvfb.
#   install_test.sh tree BUILD_DIR
#       `cmake --install` of BUILD_DIR into a temporary DESTDIR
#   install_test.sh deb SOURCE_DIR PACKAGE_BUILD_DIR VERSION
#       the .deb of scripts/build-package.sh
set -euo pipefail

id=io.github.dwellor.Dwellor
sizes=(16 22 24 32 48 64 128 256)
tmp=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait
  rm -rf "$tmp"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The files expected under a prefix, relative to the root.
expected_files() {
  local prefix=$1 man=$2
  echo "$prefix/bin/dwellor"
  echo "$prefix/share/applications/$id.desktop"
  echo "$prefix/share/metainfo/$id.metainfo.xml"
  for s in "${sizes[@]}"; do echo "$prefix/share/icons/hicolor/${s}x$s/apps/$id.png"; done
  echo "$prefix/share/icons/hicolor/scalable/apps/$id.svg"
  echo "$prefix/share/man/man1/$man"
}

# Exactly the expected files under root, and each one valid.
check_tree() {
  local root=$1 prefix=$2 man=$3 extra=${4:-}
  diff -u <({ expected_files "$prefix" "$man"; printf '%s' "$extra"; } | sort) \
          <(cd "$root" && find . -type f -printf '%P\n' | sort) || fail "installed files differ (- expected, + found)"
  local p=$root/$prefix
  [ -x "$p/bin/dwellor" ] || fail "bin/dwellor is not executable"
  desktop-file-validate "$p/share/applications/$id.desktop" || fail "desktop-file-validate"
  # KWin grants fake input to the program an entry names by its full path.
  grep -qx "Exec=/$prefix/bin/dwellor" "$p/share/applications/$id.desktop" || fail "Exec is not /$prefix/bin/dwellor"
  grep -qx "X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input" "$p/share/applications/$id.desktop" ||
    fail "the desktop entry does not ask KWin for fake input"
  appstreamcli validate --no-net "$p/share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"
  # The tree as well: the metadata's launchable is the installed desktop entry.
  appstreamcli validate-tree --no-net "$p" >/dev/null || fail "appstreamcli validate-tree"
  local lint
  lint=$(mandoc -T lint "$p/share/man/man1/$man" 2>&1) || fail "mandoc -T lint: $lint"
  [ -z "$lint" ] || fail "mandoc -T lint: $lint"
  for s in "${sizes[@]}"; do
    local got
    got=$(identify -format '%m %wx%h %[channels]' "$p/share/icons/hicolor/${s}x$s/apps/$id.png")
    [ "$got" = "PNG ${s}x$s srgba" ] || fail "${s}x$s icon is '$got'"
  done
  # librsvg is what the desktops render it with.
  rsvg-convert -w 48 "$p/share/icons/hicolor/scalable/apps/$id.svg" >/dev/null || fail "SVG icon"
  echo "ok: $prefix: files, desktop entry, metadata, man page, icons"
}

# Waits up to $1 seconds for the command that follows to succeed.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# Starts the program $1 on a private Xvfb with its own home, waits until its
# window maps, checks its window class against the desktop entry, and ends it.
check_starts() {
  local program=$1 desktop=$2
  : >"$tmp/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
  pids+=($!)
  wait_for 20 grep -q '^[0-9]' "$tmp/display" || fail "Xvfb did not start: $(cat "$tmp/xvfb.log")"
  export DISPLAY=:$(head -n1 "$tmp/display")
  mkdir -p "$tmp/home" && mkdir -m 700 "$tmp/run"
  env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS=disabled: \
    HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config" XDG_RUNTIME_DIR="$tmp/run" \
    "$program" >"$tmp/dwellor.log" 2>&1 &
  local app=$!
  pids+=("$app")
  mapped() {
    local state
    read -r _ _ state _ <"/proc/$app/stat"
    [ "$state" != Z ] || fail "$program ended: $(cat "$tmp/dwellor.log")"
    xdotool search --onlyvisible --name '^Dwellor - ' >"$tmp/window" 2>/dev/null
  }
  wait_for 30 mapped || fail "no window mapped: $(cat "$tmp/dwellor.log")"
  local wmclass
  wmclass=$(xprop -id "$(head -n1 "$tmp/window")" WM_CLASS)
  grep -q "^StartupWMClass=" "$desktop" || fail "no StartupWMClass"
  [[ "$wmclass" == *", \"$(sed -n 's/^StartupWMClass=//p' "$desktop")\"" ]] ||
    fail "window class $wmclass does not match the desktop entry"
  kill -TERM "$app"
  (sleep 10 && kill -KILL "$app" 2>/dev/null) &
  local watchdog=$!
  local status=0
  wait "$app" || status=$?
  kill "$watchdog" 2>/dev/null || true
  [ "$status" -eq 0 ] || fail "$program exited with status $status after SIGTERM"
  echo "ok: $program mapped its window and ended on SIGTERM"
}

case ${1:-} in
tree)
  DESTDIR=$tmp/root cmake --install "$2" >/dev/null
  check_tree "$tmp/root" usr/local dwellor.1
  ;;
deb)
  src=$2 build=$3 version=$4
  arch=$(dpkg --print-architecture)
  deb=$(bash "$src/scripts/build-package.sh" "$build" 2>"$tmp/build.log") || { cat "$tmp/build.log"; fail "package build"; }
  [ "$(basename "$deb")" = "dwellor_${version}_$arch.deb" ] || fail "package file name $deb"
  dpkg-deb -I "$deb"
  field() { dpkg-deb -f "$deb" "$1"; }
  [ "$(field Package)" = dwellor ] || fail "Package"
  [ "$(field Version)" = "$version" ] || fail "Version"
  [ "$(field Architecture)" = "$arch" ] || fail "Architecture"
  for f in Section Priority Maintainer Description; do [ -n "$(field $f)" ] || fail "no $f"; done
  # Computed by dpkg-shlibdeps from the program's libraries, and the platform
  # plugin it loads.
  for lib in libc6 libqt6widgets6 libx11-6 libxtst6 qt6-qpa-plugins qt6-wayland libwayland-client0; do
    [[ ",$(field Depends)," =~ [,\ ]$lib[\ ,] ]] || fail "Depends lacks $lib: $(field Depends)"
  done
  outside=$(dpkg-deb -c "$deb" | awk '{print $6}' | grep -Ev '^\./(usr(/.*)?)?$' || true)
  [ -z "$outside" ] || fail "files outside /usr: $outside"
  lintian --fail-on error --display-level '>=info' "$deb" || fail "lintian reports errors"
  echo "ok: lintian"
  dpkg-deb -x "$deb" "$tmp/root"
  check_tree "$tmp/root" usr dwellor.1.gz \
    "$(printf 'usr/share/doc/dwellor/%s\n' changelog.gz copyright)"
  file "$tmp/root/usr/bin/dwellor" | grep -q ', stripped' || fail "program not stripped"
  check_starts "$tmp/root/usr/bin/dwellor" "$tmp/root/usr/share/applications/$id.desktop"
  ;;
*)
  echo "usage: $0 tree BUILD_DIR | deb SOURCE_DIR PACKAGE_BUILD_DIR VERSION" >&2
  exit 2
  ;;
esac
