#!/usr/bin/env bash
# Installs the program into a temporary prefix, starts the installed Agent and checks that it
# finds its folders and its language pack; then builds the Debian package and installs and
# removes it with dpkg in a private root. Usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix="$work/opt fwb"   # a space in the path on purpose
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in fwbagent fwb fwb-jet-engine "Icons/active.ico" "Icons/deactive.ico" \
         "Language Packs/Swedish.lng" "share/applications/fwbagent.desktop" \
         "share/icons/hicolor/48x48/apps/fwbagent.png"; do
    [ -e "$prefix/$f" ] || fail "not installed: $f"
done
[ -d "$prefix/Backup sets" ] || fail "no Backup sets folder"
[ -z "$(ls -A "$prefix/Backup sets")" ] || fail "Backup sets is not empty"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$prefix/share/applications/fwbagent.desktop"
fi
grep -qF "Exec=\"$prefix/fwbagent\"" "$prefix/share/applications/fwbagent.desktop" \
    || fail "menu entry does not start the installed Agent"

printf '[Options]\r\nGLO_CurrentLanguage=Swedish.lng\r\n' >"$prefix/settings.ini"
mkdir -p "$work/run" && chmod 700 "$work/run"
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/run" "$prefix/fwbagent" 2>"$work/agent.log" &
agent=$!
for _ in $(seq 100); do
    grep -qF "Programmet har startat." "$work/agent.log" && break
    sleep 0.1
done
kill "$agent" 2>/dev/null || true
wait "$agent" 2>/dev/null || true
grep -qF "Programmet har startat." "$work/agent.log" || { cat "$work/agent.log"; fail "no Swedish start-up entry"; }
grep -qF "$prefix/Backup sets" "$work/agent.log" || fail "start-up entry does not name the installed Backup sets"
grep -q "FirstRunOfGeneration5=0" "$prefix/settings.ini" || fail "first run not recorded"
echo "installed Agent started in Swedish and watches $prefix/Backup sets"

if ! command -v dpkg >/dev/null || ! command -v cpack >/dev/null; then
    echo "SKIP: dpkg or cpack missing, package not checked"
    exit 0
fi
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/pkg" >/dev/null)
deb=$(ls "$work"/pkg/*.deb)
root="$work/root"
admin="$work/admin"
mkdir -p "$root" "$admin/info" "$admin/updates" "$admin/triggers"
touch "$admin/status" "$admin/available"
dpkg_private() {
    dpkg --force-not-root --force-depends --force-script-chrootless --log=/dev/null \
        --admindir="$admin" --instdir="$root" "$@"
}
dpkg_private -i "$deb" >/dev/null 2>"$work/dpkg.log" || { cat "$work/dpkg.log"; fail "dpkg -i failed"; }
[ -x "$root/opt/fwb/fwbagent" ] || fail "package did not install the Agent"
[ -L "$root/usr/share/applications/fwbagent.desktop" ] || fail "package did not add the menu entry"
dpkg_private -r fwb-agent >/dev/null 2>"$work/dpkg.log" || { cat "$work/dpkg.log"; fail "dpkg -r failed"; }
left=$(find "$root" -type f -o -type l)
[ -z "$left" ] || fail "package removal left files: $left"
echo "package $(basename "$deb") installs and removes cleanly"
