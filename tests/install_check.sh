#!/usr/bin/env bash
# The installation end to end: `cmake --install` into a temporary prefix (the tree, the desktop
# entry and AppStream data validated, nothing of the virtual mouse or the tests in it), the
# installed program started from that prefix under Xvfb against the virtual mouse's libraries
# (its data must land in the user's data location, not beside the program), and the Debian
# package built with its contents and dependencies checked.
#
# Usage: install_check.sh BUILD_DIR
set -euo pipefail
build="$(cd "$1" && pwd)"
work="$(mktemp -d)"
program_pid=""
cleanup() {
  if [ -n "$program_pid" ]; then kill "$program_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

# The tree.
lib="$prefix/lib/mokta-mouse"
for file in mokta-mouse mokta-mousectl mokta-hidraw-access libhiddriver_1.so libhiddriver_2.so libHook.so \
  mokta-mouse.installed res/lan.xml res/main.xml res/MS/MS_1/ms_1_macropage.xml; do
  [ -e "$lib/$file" ] || fail "missing lib/mokta-mouse/$file"
done
for program in mokta-mouse mokta-mousectl; do
  [ -L "$prefix/bin/$program" ] || fail "bin/$program is not a link"
  [ "$(readlink -f "$prefix/bin/$program")" = "$(readlink -f "$lib/$program")" ] ||
    fail "bin/$program does not lead to lib/mokta-mouse/$program"
done
for file in share/applications/org.mokta.MoktaMouse.desktop \
  share/metainfo/org.mokta.MoktaMouse.metainfo.xml \
  share/icons/hicolor/48x48/apps/mokta-mouse.png share/icons/hicolor/scalable/apps/mokta-mouse.svg \
  lib/udev/rules.d/71-mokta-mouse.rules; do
  [ -e "$prefix/$file" ] || fail "missing $file"
done
grep -q "IMPORT{program}=\"$lib/mokta-hidraw-access %k\"" "$prefix/lib/udev/rules.d/71-mokta-mouse.rules" ||
  fail "the installed rules do not run the installed mokta-hidraw-access"
if find "$prefix" -name '*virtual*' | grep -q .; then
  fail "the virtual mouse is installed: $(find "$prefix" -name '*virtual*' | head -3)"
fi
desktop-file-validate "$prefix/share/applications/org.mokta.MoktaMouse.desktop" ||
  fail "desktop-file-validate"
appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/org.mokta.MoktaMouse.metainfo.xml" \
  >"$work/appstream.log" 2>&1 || { cat "$work/appstream.log" >&2; fail "appstreamcli validate"; }
"$prefix/bin/mokta-mousectl" --help >/dev/null 2>&1 || fail "the installed mokta-mousectl does not run"

# The installed program, from the prefix, with the virtual mouse's libraries.
home="$work/home"
mkdir -p "$home"
(
  cd "$work"
  env -u XDG_DATA_HOME -u MOKTA_DATA_DIR HOME="$home" XDG_RUNTIME_DIR="$work" \
    MOKTA_INSTANCE_NAME="install-check-$$" MOKTA_DRIVER_DIR="$build/bin/virtual/" \
    MOKTA_VIRTUAL_START="cable=1,receiver=0,ble=0" MOKTA_VIRTUAL_CONTROL="$work/control.sock" \
    QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" "$prefix/bin/mokta-mouse" \
    >"$work/program.log" 2>&1
) &
program_pid=$!
store="$home/.local/share/mokta-mouse/Data/ms_1/pro.data"
for _ in $(seq 1 200); do
  [ -s "$store" ] && break
  sleep 0.1
done
[ -s "$store" ] || { tail -20 "$work/program.log" >&2; fail "no $store"; }
[ ! -e "$lib/Data" ] || fail "the installed program keeps data beside itself"
# SIGTERM ends the program (started through its link, which is its command line).
pkill -TERM -f "^$prefix/bin/mokta-mouse\$" 2>/dev/null || true
for _ in $(seq 1 100); do
  kill -0 "$program_pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$program_pid" 2>/dev/null && fail "the installed program did not end on SIGTERM"
program_pid=""

# The Debian package.
(cd "$build" && cpack -G DEB -B "$work/package" >"$work/cpack.log" 2>&1) ||
  { tail -20 "$work/cpack.log" >&2; fail "cpack"; }
deb="$(ls "$work"/package/mokta-mouse_*.deb 2>/dev/null | head -1)"
if [ -z "$deb" ]; then
  fail "no package built"
else
  dpkg-deb -c "$deb" >"$work/contents"
  for path in ./usr/lib/mokta-mouse/mokta-mouse ./usr/lib/mokta-mouse/libHook.so \
    ./usr/bin/mokta-mouse ./usr/lib/mokta-mouse/mokta-hidraw-access \
    ./usr/share/applications/org.mokta.MoktaMouse.desktop \
    ./usr/lib/udev/rules.d/71-mokta-mouse.rules; do
    grep -q " $path" "$work/contents" || fail "the package lacks $path"
  done
  if grep -q "virtual" "$work/contents"; then fail "the package holds the virtual mouse"; fi
  depends="$(dpkg-deb -f "$deb" Depends)"
  for dependency in libqt6widgets6 libqt6dbus6 libudev1 udev; do
    case "$depends" in
      *"$dependency"*) ;;
      *) fail "the package does not depend on $dependency (Depends: $depends)" ;;
    esac
  done
  dpkg-deb -I "$deb" postinst >/dev/null 2>&1 || fail "the package has no postinst"
fi

if [ "$failures" -ne 0 ]; then
  echo "install_check: $failures failure(s)" >&2
  exit 1
fi
echo "install_check: the tree, the entries, the installed program and the package are right"
