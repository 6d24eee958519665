#!/usr/bin/env bash
# The installer under Wine: builds it here with CPack, installs it with /S,
# finds the files, the shortcut and the uninstall entry, runs the installed
# exe against the e2e probe, installs over a running Dwellor (window shown,
# then in the tray) and expects it back as it was, then uninstalls with a
# Dwellor running and expects nothing left but the settings.
#   installer_test.sh BUILD_DIR SESSION_DIR
set -euo pipefail
build=$1 session=$2
run() { bash "$(dirname "$0")/wine-session.sh" run "$session" "$@"; }
reg() { run /usr/lib/wine/wine64 reg "$@" 2>/dev/null | tr -d '\r'; }
fail() { echo "FAIL: $*" >&2; exit 1; }
# Waits up to 20 s for a condition; on failure, says $2 and what $3 prints.
waitfor() { for _ in $(seq 200); do eval "$1" && return 0; sleep 0.1; done; fail "$2${3:+: $(eval "$3")}"; }

cd "$build"
cpack -G NSIS >cpack.log 2>&1 || { cat cpack.log; exit 1; }
setup=$(ls dwellor-*-setup.exe)
prefix=$(set -a; . "$session/env"; echo "$WINEPREFIX")
home="$prefix/drive_c/users/$(id -un)"
dir="$home/AppData/Local/Programs/Dwellor"
link="$home/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Dwellor.lnk"
uninst='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Dwellor'
runkey='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
settings='HKCU\Software\VB and VBA Program Settings\Dwellor'
# The installed Dwellors of this prefix (other runs on this machine install
# to the same Windows path), without their guardians.
dwellors() {
  local p
  for p in $(pgrep -f 'Programs.Dwellor.dwellor\.exe'); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$prefix" || continue
    tr '\0' ' ' <"/proc/$p/cmdline" 2>/dev/null | grep -q -- '--guard' || echo "$p"
  done
}
shown() { run xdotool search --onlyvisible --classname '^dwellor\.exe$' 2>/dev/null | wc -l; }
# Icons docked in the tray host; Dwellor's is there only while it is in the tray.
icons() { run xwininfo -tree -id "$(run xdotool search --classname '^panel$')" | grep -c '"explorer.exe"' || true; }
# Exactly one Dwellor, not `$1`, and `$2`: its window shown, or in the tray.
as_it_was() {
  local d; d=$(dwellors)
  [ -n "$d" ] && [ "$d" != "$1" ] && [ "$(wc -l <<<"$d")" = 1 ] || return 1
  case $2 in
    shown) [ "$(shown)" = 1 ] ;;
    tray) [ "$(icons)" -ge 1 ] && [ "$(shown)" = 0 ] ;;
  esac
}
state='echo "Dwellor $(dwellors | xargs), $(shown) window(s) shown, $(icons) tray icon(s)"'

run "./$setup" /S
waitfor '[ -f "$dir/Uninstall.exe" ]' "no uninstaller in $dir"
for f in dwellor.exe LICENSE.txt README.txt; do [ -f "$dir/$f" ] || fail "$f not installed"; done
[ -f "$link" ] || fail "no Start menu shortcut"
entry=$(reg query "$uninst")
for v in DisplayName DisplayVersion Publisher DisplayIcon UninstallString QuietUninstallString EstimatedSize; do
  grep -q " $v " <<<"$entry" || fail "uninstall entry without $v: $entry"
done
grep -q 'DisplayVersion    REG_SZ    [0-9]' <<<"$entry" || fail "no version: $entry"
reg query "$runkey" /v Dwellor | grep -q 'Dwellor\\dwellor.exe" --hidden' || fail "no login entry"
echo "installed: $(du -sk "$dir" | cut -f1) KiB"

# The installed exe clicks (the e2e probe, with its path).
winexe='C:\users\'"$(id -un)"'\AppData\Local\Programs\Dwellor\dwellor.exe'
DWELLOR_EXE=$winexe run ./e2e_win32_tests.exe --gtest_filter=E2eTest.OneLeftClickPerTickAtTheRestingPointAfterTheFirst \
  >installed-e2e.log 2>&1 || { cat installed-e2e.log; fail "the installed exe does not click"; }

# Installing over a running Dwellor ends it and starts it again as it was.
for how in shown tray; do
  [ $how = tray ] && run "$dir/dwellor.exe" --quit
  run "$dir/dwellor.exe" $([ $how = tray ] && echo --hidden) &
  waitfor 'as_it_was "" $how' "the installed exe did not start $how" "$state"
  before=$(dwellors)
  run "./$setup" /S
  waitfor 'as_it_was "$before" $how' "not one Dwellor $how after installing over one" "$state"
done

# Uninstalling stops a running Dwellor and keeps the settings.
reg add "$settings\\Program" /v Interval /d 250 /f >/dev/null
run "$dir/Uninstall.exe" /S
# The uninstaller copies itself away and runs from there.
waitfor '[ ! -e "$dir" ]' "$dir is still there: $(ls "$dir" 2>&1)"
waitfor '[ -z "$(dwellors)" ]' "Dwellor still runs"
[ ! -e "$link" ] || fail "the shortcut is still there"
reg query "$uninst" >/dev/null && fail "the uninstall entry is still there"
reg query "$runkey" /v Dwellor >/dev/null && fail "the login entry is still there"
reg query "$settings\\Program" /v Interval | grep -q 250 || fail "the settings were removed"
wait
echo "setup: $(stat -c %s "$setup") bytes; installed, clicked, installed over a running Dwellor, uninstalled"
