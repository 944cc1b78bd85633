#!/usr/bin/env bash
# The built Debian package, unpacked into a scratch root with dpkg -x: its files are where a
# desktop and systemd look for them, the metadata validates, the man pages cover every option
# of --help, every program answers --version and --help, and the window, started in an empty
# folder against the simulator from the same root, talks to it and finds its parameter template
# in the installed data folder.
#   package_test.sh VERSION FOLDER...   (the newest orlo-pc_VERSION_<arch>.deb in the FOLDERs,
#                                        from scripts/package)
set -uo pipefail
version=$1
shift

skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; failed=1; }
failed=0

for tool in dpkg-deb desktop-file-validate appstreamcli file; do
  command -v "$tool" >/dev/null || skip "$tool is missing; scripts/setup installs the package tools"
done
deb=
for folder in "$@"; do
  for candidate in "$folder"/orlo-pc_"$version"_*.deb; do
    [ -f "$candidate" ] && { [ -z "$deb" ] || [ "$candidate" -nt "$deb" ]; } && deb=$candidate
  done
done
[ -n "$deb" ] || skip "no orlo-pc_${version}_*.deb in $*: run scripts/package first (scripts/test does)"

work=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
root=$work/root
dpkg-deb -x "$deb" "$root" || { echo "FAIL: dpkg-deb -x $deb"; exit 1; }
bin=$root/usr/bin
share=$root/usr/share
echo "unpacked $deb ($(du -k "$deb" | cut -f1) KiB)"

# Files where a desktop, man and systemd look for them.
for path in usr/share/orlo-pc/AlarmParameterExample.csv usr/share/orlo-pc/orlo-bms-dashboard.json lib/systemd/system/orlo-bms@.service \
  etc/orlo-bms/example.toml usr/share/doc/orlo-pc/copyright; do
  [ -f "$root/$path" ] || fail "$path is missing"
done
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles | grep -qx /etc/orlo-bms/example.toml ||
  fail "/etc/orlo-bms/example.toml is not a conffile"
for size in 16 22 24 32 48 64 128 256; do
  icon=$share/icons/hicolor/${size}x${size}/apps/org.orlo.OrloPC.png
  file -b "$icon" 2>/dev/null | grep -q "PNG image data, $size x $size" || fail "no ${size}x$size icon at $icon"
done
desktop-file-validate "$share/applications/org.orlo.OrloPC.desktop" || fail "desktop entry does not validate"
appstreamcli validate --no-net --explain "$share/metainfo/org.orlo.OrloPC.metainfo.xml" ||
  fail "metainfo does not validate"

for program in Orlo_PC orlo-bms orlo-bms-sim; do
  out=$("$bin/$program" --version 2>&1)
  status=$?
  [ $status -eq 0 ] || fail "$program --version exits with $status"
  [ "$out" = "$program $version" ] || fail "$program --version says '$out', not '$program $version'"
  help=$("$bin/$program" --help 2>&1)
  status=$?
  [ $status -eq 0 ] || fail "$program --help exits with $status"
  grep -q -- "--version" <<<"$help" || fail "$program --help does not list --version"
  # The man page comes from --help at build time: every option of --help is in it (and of
  # every orlo-bms command, whose page is made from --help-all).
  [ "$program" = orlo-bms ] && help=$("$bin/$program" --help-all 2>&1)
  page=$share/man/man1/$program.1.gz
  if [ ! -f "$page" ]; then
    fail "no man page $page"
    continue
  fi
  man_text=$(gzip -dc "$page" | sed 's/\\-/-/g')
  for option in $(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u); do
    grep -q -- "$option" <<<"$man_text" || fail "man page of $program lacks $option of its --help"
  done
done

# The window in an empty working folder, against the simulator from the same root.
"$bin/orlo-bms-sim" --link "$work/link" >"$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do
  [ -e "$work/link" ] && break
  sleep 0.1
done
[ -e "$work/link" ] || fail "the simulator made no link: $(cat "$work/sim.out")"
mkdir "$work/elsewhere"
(cd "$work/elsewhere" && QT_QPA_PLATFORM=offscreen "$bin/Orlo_PC" --port "COM1=$work/link" --open COM1 \
  --quit-after 4 --screenshot-delay 2 --screenshot shot.png --trace-updates trace.txt \
  >"$work/window.out" 2>&1)
status=$?
[ $status -eq 0 ] || fail "Orlo_PC exits with $status: $(cat "$work/window.out")"
file -b "$work/elsewhere/shot.png" 2>/dev/null | grep -q "PNG image data" || fail "no screenshot"
grep -q "^[0-9.]* dispatched " "$work/elsewhere/trace.txt" 2>/dev/null ||
  fail "the window took no frame from the simulator"
grep -q "AlarmParameterExample.csv" "$work/window.out" &&
  fail "the window did not find its template: $(cat "$work/window.out")"

# Without the installed template the window says so: the run above found it there.
rm "$share/orlo-pc/AlarmParameterExample.csv"
(cd "$work/elsewhere" && QT_QPA_PLATFORM=offscreen "$bin/Orlo_PC" --quit-after 1 >"$work/bare.out" 2>&1)
grep -q "AlarmParameterExample.csv is neither in $work/elsewhere nor in $share/orlo-pc" "$work/bare.out" ||
  fail "a missing template goes unmentioned: $(cat "$work/bare.out")"

[ $failed -eq 0 ] && echo "package test passed"
exit $failed
