#!/usr/bin/env bash
# Installs into a temporary prefix and starts the installed Agent, in Swedish, and as an
# ordinary user for whom the program folder is read-only; checks the backup-set type; installs
# and removes the Debian package with dpkg in a private root.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
# A fresh login of an ordinary user may lack the administrators' folders, where dpkg lives.
export PATH="$PATH:/usr/sbin:/sbin"
for tool in update-mime-database mimetype xdg-mime dpkg cpack setpriv lintian desktop-file-validate \
            xmllint; do # 77: CTest's skip
    command -v $tool >/dev/null || { echo "skipped, cannot run here: no $tool" >&2; exit 77; }
done
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
chmod 755 "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }
# Runs a command until a line of its standard error, kept in LOG, holds TEXT; then ends it.
run_until() {
    local log=$1 text=$2 line
    shift 2
    exec {err}< <(exec "$@" 2>&1 >/dev/null)
    local pid=$!
    while IFS= read -r -t 10 -u "$err" line && echo "$line" >>"$log" && [[ $line != *"$text"* ]]; do :; done
    kill "$pid" 2>/dev/null || true
    exec {err}<&-
    grep -qF "$text" "$log" || { cat "$log"; fail "never logged: $text"; }
}

prefix="$work/opt fwb"   # a space in the path on purpose
cmake --install "$build" --prefix "$prefix" >/dev/null
# What else is installed is used below, or checked in the package the same rules fill.
for f in Icons/active.ico Icons/deactive.ico; do
    [ -e "$prefix/$f" ] || fail "not installed: $f"
done
[ -d "$prefix/Backup sets" ] && [ -z "$(ls -A "$prefix/Backup sets")" ] || fail "no empty Backup sets folder"
desktop-file-validate "$prefix/share/applications/fwbagent.desktop"
xmllint --noout "$prefix/share/mime/packages/fwb-backup-set.xml"
grep -qxF "Exec=\"$prefix/fwbagent\"" "$prefix/share/applications/fwbagent.desktop" \
    && grep -qxF "TryExec=$prefix/fwbagent" "$prefix/share/applications/fwbagent.desktop" \
    || fail "menu entry does not start the installed Agent"

# Portable copies in folders named in Latin-1 ("K\xd6pia") and with a line break at the end.
latin="$work/K$(printf '\326')pia" newline="$work/copy
"
cp -a "$prefix" "$latin" && cp -a "$prefix" "$newline"
printf '[Options]\r\nGLO_CurrentLanguage=Swedish.lng\r\n' >"$latin/settings.ini"
run_until "$work/latin.log" "Programmet har startat." env QT_QPA_PLATFORM=offscreen \
    FWBAGENT_TEST_INSTANCE="install-$$" "$latin/fwbagent"
grep -qF 'K\xd6pia/Backup sets' "$work/latin.log" && grep -q "FirstRunOfGeneration5=0" "$latin/settings.ini" \
    || fail "the Agent does not find its Latin-1 folder, or takes it for read-only"
"$newline/fwb" && [ -s "$newline/fwb.log" ] || fail "fwb writes its log outside its own folder"

# The type database finds a set by its name even when its content is a Jet file.
mkdir -p "$work/xdg-data/mime/packages"
cp "$prefix/share/mime/packages/fwb-backup-set.xml" "$work/xdg-data/mime/packages/"
XDG_DATA_HOME="$work/xdg-data" update-mime-database "$work/xdg-data/mime"
printf '\0\1\0\0Standard Jet DB\0' >"$work/jet set.fwb"
type=$(env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION XDG_DATA_HOME="$work/xdg-data" \
    xdg-mime query filetype "$work/jet set.fwb")
[ "$type" = application/x-fwb-backup-set ] || fail "a Jet set is of type $type"

# An ordinary user: what the Agent and fwb write goes to the user's XDG folders. Root becomes
# one; an ordinary user running the test loses the right to write the program folder instead.
home="$work/home"
mkdir -p "$home/run" && chmod 700 "$home/run"
as_user=(env -i PATH="$PATH" HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data"
         XDG_RUNTIME_DIR="$home/run" FWBAGENT_TEST_INSTANCE="install-$$" QT_QPA_PLATFORM=offscreen)
if [ "$(id -u)" -eq 0 ]; then
    chown -R 65534:65534 "$home"
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups "${as_user[@]}")
else
    chmod -R a-w "$prefix"
fi
config="$home/config/fwb" sets="$home/data/fwb/Backup sets"
before=$(find "$prefix" -printf '%p %s %T@\n' | sort)
# Help and version need no display and touch neither the lock nor the settings.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ "$("${as_user[@]}" QT_QPA_PLATFORM= "$prefix/fwbagent" --version)" = "fwbagent (FWB Agent) $version" ] \
    && "${as_user[@]}" QT_QPA_PLATFORM= "$prefix/fwbagent" --help | grep -q "^Usage: fwbagent \[OPTION\]" \
    && [ ! -e "$home/config" ] && [ -z "$(ls -A "$home/run")" ] || fail "--help or --version failed"
! "${as_user[@]}" QT_QPA_PLATFORM= "$prefix/fwbagent" 2>"$work/nodisplay" || fail "started without a display"
[ "$(cat "$work/nodisplay")" = "fwbagent: cannot start without a display: DISPLAY is not set" ] \
    || fail "no one-line error without a display: $(cat "$work/nodisplay")"
run_until "$work/user1.log" "Program start-up." "${as_user[@]}" "$prefix/fwbagent"
grep -qF "$sets" "$work/user1.log" || fail "the user's sets are not watched"
[ "$(stat -c %u "$sets")" = "$("${as_user[@]}" id -u)" ] || fail "no Backup sets of the user's own"
grep -q "FirstRunOfGeneration5=0" "$config/settings.ini" || fail "the user's first run not recorded"
printf '[Options]\r\nGLO_CurrentLanguage=Swedish.lng\r\n' >>"$config/settings.ini"
run_until "$work/user2.log" "Programmet har startat." "${as_user[@]}" "$prefix/fwbagent"
! grep -q "Could not save" "$work/user1.log" "$work/user2.log" || fail "a setting was not saved"
# Started through a link, as from /usr/bin, the Agent still finds its program folder.
ln -s "$prefix/fwbagent" "$work/fwbagent"
paths=$("${as_user[@]}" "$work/fwbagent" --print-paths)
grep -qxF "AgentIniPath=$config/fwbagent.ini" <<<"$paths" && grep -qxF "AppFolder=$prefix/" <<<"$paths" \
    || fail "--print-paths does not give the user's settings file and the program folder"
"${as_user[@]}" "$prefix/fwb" "$prefix/examples/Example.fwb"
grep -qF "started with backup set: $prefix/examples/Example.fwb" "$home/data/fwb/fwb.log" \
    || fail "fwb did not write its log to the user's data folder"
[ "$(find "$prefix" -printf '%p %s %T@\n' | sort)" = "$before" ] || fail "the user wrote into the program folder"
# A settings folder the user cannot write: the lost write is reported, not swallowed.
rm "$config/settings.ini" && chmod 555 "$config"
run_until "$work/user3.log" "Could not save the setting: FirstRunOfGeneration5=0 ($config/settings.ini)" \
    "${as_user[@]}" "$prefix/fwbagent"

(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/pkg" >/dev/null)
root="$work/root" admin="$work/admin"
mkdir -p "$root" "$admin/info" "$admin/updates" "$admin/triggers"
touch "$admin/status" "$admin/available"
dpkg_private() {
    dpkg --force-not-root --force-depends --force-script-chrootless --log=/dev/null \
        --admindir="$admin" --instdir="$root" "$@" >/dev/null 2>"$work/dpkg.log" \
        || { cat "$work/dpkg.log"; fail "dpkg $1 failed"; }
}
dpkg_private -i "$work"/pkg/*.deb
# What desktops, man and users look for are the package's own files, which dpkg's triggers see;
# every icon in every size, and programs stripped.
dpkg-query --admindir="$admin" -S /usr/bin/fwbagent /usr/share/applications/fwbagent.desktop \
    /usr/share/man/man1/fwbagent.1.gz /usr/share/mime/packages/fwb-backup-set.xml \
    /usr/share/doc/fwb-agent/{copyright,changelog.gz} >/dev/null || fail "files above are not the package's"
[ "$(readlink "$root/usr/bin/fwbagent")" = /opt/fwb/fwbagent ] || fail "fwbagent on the PATH is not the Agent"
icons=$(dpkg-query --admindir="$admin" -L fwb-agent | grep '^/usr/share/icons/hicolor/.*\.\(png\|svg\)$')
[ "$(grep -c . <<<"$icons")" = 36 ] || fail "not four icons in nine sizes: $icons"
while read -r icon; do
    size=${icon#/usr/share/icons/hicolor/} && size=${size%%x*}
    [[ $icon == */scalable/* ]] || file "$root$icon" | grep -q ", $size x $size," || fail "$icon is not $size px"
done <<<"$icons"
stripped=$(file "$root"/opt/fwb/{fwbagent,fwb-jet,fwb-jet-engine} | grep -c "ELF.*, stripped")
[ "$stripped" = 3 ] || fail "not every program is stripped"
lintian --fail-on error,warning "$work"/pkg/*.deb 2>/dev/null || fail "lintian finds faults"
dpkg_private -r fwb-agent
left=$(find "$root" \( -type f -o -type l \))
[ -z "$left" ] || fail "package removal left files: $left"
