#!/usr/bin/env bash
# The installer under Wine: builds it here with CPack, installs it with /S,
# finds the files, the shortcut and the uninstall entry, runs the installed
# exe against the e2e probe, then uninstalls with a Dwellor running and
# expects nothing left but the settings.
#   installer_test.sh BUILD_DIR SESSION_DIR
set -euo pipefail
build=$1 session=$2
run() { bash "$(dirname "$0")/wine-session.sh" run "$session" "$@"; }
reg() { run /usr/lib/wine/wine64 reg "$@" 2>/dev/null | tr -d '\r'; }
fail() { echo "FAIL: $*" >&2; exit 1; }
# Waits up to 20 s for a condition.
waitfor() { for _ in $(seq 200); do eval "$1" && return 0; sleep 0.1; done; fail "$2"; }

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

# Uninstalling stops a running Dwellor and keeps the settings.
reg add "$settings\\Program" /v Interval /d 250 /f >/dev/null
run "$dir/dwellor.exe" &
waitfor 'pgrep -f "Programs.Dwellor.dwellor.exe" >/dev/null' "the installed exe did not start"
run "$dir/Uninstall.exe" /S
# The uninstaller copies itself away and runs from there.
waitfor '[ ! -e "$dir" ]' "$dir is still there: $(ls "$dir" 2>&1)"
waitfor '! pgrep -f "Programs.Dwellor.dwellor.exe" >/dev/null' "Dwellor still runs"
[ ! -e "$link" ] || fail "the shortcut is still there"
reg query "$uninst" >/dev/null && fail "the uninstall entry is still there"
reg query "$runkey" /v Dwellor >/dev/null && fail "the login entry is still there"
reg query "$settings\\Program" /v Interval | grep -q 250 || fail "the settings were removed"
wait
echo "setup: $(stat -c %s "$setup") bytes; installed, clicked, uninstalled"
