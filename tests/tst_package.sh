#!/usr/bin/env bash
# Builds the Debian package from a finished build tree and checks it as a user gets it:
# its control fields and file list, the desktop entry, AppStream metainfo, icons and man
# pages it installs, and that the panel unpacked into a temporary root starts against the
# unpacked stand-in on a private session bus, keeps refreshing, and closes with it.
#
# Usage: tst_package.sh BUILD_DIR
set -euo pipefail

readonly APP_ID=org.dialboard.Dialboard
readonly NODE_APP_ID=org.dialboard.EchoLinkNode
readonly SIM=org.dialboard.EchoLink
# The multiarch library folder, home of the node's window plugin.
ARCH=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
readonly ARCH

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

sim_control() {
  dbus-send --session --print-reply --dest=$SIM /Control "org.dialboard.EchoLink.Simulator.$1"
}

# Waits up to $1 tenths of a second for the process $2 to end; true when it did.
ended_within() {
  local i
  for ((i = 0; i < $1; ++i)); do
    kill -0 "$2" 2>/dev/null || return 0
    sleep 0.1
  done
  return 1
}

# Runs on the private bus that dbus-run-session gives it: the unpacked stand-in and panel.
sim=
panel=
run_installed() {
  local root=$1 work=$2 i calls
  export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=$work/config
  "$root/usr/bin/echolink-sim" --no-window --connect-delay 0 --callsign T3ST-L \
    >"$work/sim.log" 2>&1 &
  sim=$!
  trap 'kill $sim ${panel:-} 2>/dev/null' EXIT
  for ((i = 0; i < 50; ++i)); do
    sim_control Calls >/dev/null 2>&1 && break
    sleep 0.1
  done
  sim_control Calls >/dev/null || { cat "$work/sim.log"; fail "the unpacked echolink-sim does not serve $SIM"; }

  "$root/usr/bin/dialboard" >"$work/panel.log" 2>&1 &
  panel=$!
  # Start-up waits on the splash and after attaching, then the first refresh asks
  # EchoLink about every button.
  calls=
  for ((i = 0; i < 200; ++i)); do
    kill -0 $panel 2>/dev/null || { cat "$work/panel.log"; fail "the unpacked panel ended during start-up"; }
    calls=$(sim_control Calls) || fail "the stand-in stopped answering"
    grep -q '"IsConnected' <<<"$calls" && break
    sleep 0.1
  done
  grep -q '"IsConnected' <<<"$calls" || { cat "$work/panel.log"; fail "no IsConnected call from the panel within 20 s"; }
  grep -q '"Callsign"' <<<"$calls" || fail "the panel never read the callsign"
  sleep 2
  kill -0 $panel 2>/dev/null || { cat "$work/panel.log"; fail "the unpacked panel ended after attaching"; }
  echo "unpacked panel attached and running"

  # EchoLink closing ends the panel, normally.
  sim_control EmitClosing >/dev/null
  ended_within 100 $panel || fail "the panel did not close when the stand-in raised Closing"
  wait $panel || fail "the panel exited with status $? after Closing"
  ended_within 50 $sim || fail "the stand-in did not quit after Closing"
  echo "panel closed with the stand-in"

  # The unpacked node, asked for its window, loads the unpacked window plugin.
  local node
  "$root/usr/bin/echolink-node" --no-audio >"$work/node.log" 2>&1 &
  node=$!
  trap 'kill $node 2>/dev/null' EXIT
  for ((i = 0; i < 100; ++i)); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
      string:$SIM 2>/dev/null | grep -q 'boolean true' && break
    sleep 0.1
  done
  grep -q "$root/usr/lib/$ARCH/echolink-node/echolink-node-window.so" "/proc/$node/maps" \
    || { cat "$work/node.log"; fail "the unpacked node did not load the unpacked window plugin"; }
  ! grep -q 'running headless' "$work/node.log" || { cat "$work/node.log"; fail "the unpacked node ran headless"; }
  kill -TERM $node
  ended_within 50 $node || fail "the unpacked node did not end on SIGTERM"
  echo "unpacked node shows its window from the unpacked plugin"
  trap - EXIT
}

if [ "${1:-}" = --run-installed ]; then
  run_installed "$2" "$3"
  exit 0
fi

build_dir=$(cd "$1" && pwd)
for tool in cpack dpkg-deb dpkg-shlibdeps desktop-file-validate appstreamcli dbus-run-session dbus-send lintian; do
  command -v $tool >/dev/null || { echo "SKIP: $tool is missing (scripts/deps.sh --tests installs it)"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The package.
cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 \
  || { cat "$work/cpack.log"; fail "cpack -G DEB failed"; }
debs=("$work"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single .deb: ${debs[*]}"
deb=${debs[0]}
echo "built $(basename "$deb")"

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = dialboard ] || fail "Package is '$(field Package)'"
[ "$(field Section)" = hamradio ] || fail "Section is '$(field Section)'"
depends=$(field Depends)
echo "Depends: $depends"
# Package names only: versions and alternatives set aside.
depends_names=$(tr ',|' '\n\n' <<<"$depends" | awk '{print $1}')
for needed in libqt6core6 libqt6gui6 libqt6widgets6 libqt6dbus6 libstdc++6 libc6 dbus; do
  grep -qx -- "$needed" <<<"$depends_names" || fail "Depends lacks $needed"
done
grep -qx fonts-arkpandora <<<"$(field Recommends | tr ',' '\n' | awk '{print $1}')" \
  || fail "Recommends lacks fonts-arkpandora"

# Exactly these files, nothing left out and nothing stray.
expected="./usr/bin/dialboard
./usr/bin/echolink-node
./usr/bin/echolink-sim
./usr/lib/systemd/user/echolink-node.service
./usr/lib/$ARCH/echolink-node/echolink-node-window.so
./usr/share/applications/$APP_ID.desktop
./usr/share/applications/$NODE_APP_ID.desktop
./usr/share/dbus-1/services/$SIM.service
./usr/share/doc/dialboard/changelog.Debian.gz
./usr/share/doc/dialboard/copyright
./usr/share/icons/hicolor/32x32/apps/$APP_ID.png
./usr/share/icons/hicolor/scalable/apps/$APP_ID.svg
./usr/share/icons/hicolor/scalable/apps/$NODE_APP_ID.svg
./usr/share/lintian/overrides/dialboard
./usr/share/man/man1/dialboard.1.gz
./usr/share/man/man1/echolink-node.1.gz
./usr/share/man/man1/echolink-sim.1.gz
./usr/share/metainfo/$APP_ID.metainfo.xml"
actual=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sort)
[ "$actual" = "$expected" ] || { diff <(echo "$expected") <(echo "$actual") || true; fail "unexpected file list"; }

root=$work/root
dpkg -x "$deb" "$root"
share=$root/usr/share

# Desktop integration, as installed: valid, and each name it gives points at a real file.
desktop=$share/applications/$APP_ID.desktop
metainfo=$share/metainfo/$APP_ID.metainfo.xml
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $APP_ID.desktop"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects $APP_ID.metainfo.xml"
grep -qx 'Categories=Network;HamRadio;' "$desktop" || fail "desktop entry categories"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$root/usr/bin/$exec_name" ] || fail "Exec=$exec_name is not an installed program"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$share/icons/hicolor/32x32/apps/$icon.png" ] && [ -f "$share/icons/hicolor/scalable/apps/$icon.svg" ] \
  || fail "Icon=$icon has no installed icon files"
# The PNG header's width and height, big-endian, at bytes 16 to 23.
[ "$(od -An -tu1 -j16 -N8 "$share/icons/hicolor/32x32/apps/$icon.png" | xargs)" = "0 0 0 32 0 0 0 32" ] \
  || fail "the hicolor 32x32 icon is not 32 x 32 pixels"
grep -q "<launchable type=\"desktop-id\">$APP_ID.desktop</launchable>" "$metainfo" \
  || fail "the metainfo does not launch $APP_ID.desktop"
for page in dialboard echolink-sim echolink-node; do
  gzip -t "$share/man/man1/$page.1.gz" || fail "$page.1.gz is not a valid gzip file"
  if command -v man >/dev/null; then
    warnings=$(MANWIDTH=80 man --warnings -l "$share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man page $page.1: $warnings"
  fi
done
"$root/usr/bin/echolink-sim" --version | grep -q '^echolink-sim ' || fail "unpacked echolink-sim --version"
"$root/usr/bin/echolink-node" --version | grep -q '^echolink-node ' || fail "unpacked echolink-node --version"
! grep -q '^libecholib' <<<"$depends_names" || fail "Depends names the EchoLink library, which the node no longer uses"
grep -qx libgsm1 <<<"$depends_names" || fail "Depends lacks the GSM codec"
grep -q '^libspeex1' <<<"$depends_names" || fail "Depends lacks the Speex codec"
grep -qx libasyncaudio1.6 <<<"$depends_names" || fail "Depends lacks the audio library"
# The node's window is its plugin's: the executable needs neither Qt Widgets nor Gui, and
# the unpacked node finds the unpacked plugin.
needed=$(readelf -d "$root/usr/bin/echolink-node" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
! grep -qE '^libQt6(Widgets|Gui)' <<<"$needed" || fail "echolink-node links Qt Widgets or Gui: $needed"
readelf -d "$root/usr/lib/$ARCH/echolink-node/echolink-node-window.so" | grep -q 'libQt6Widgets' \
  || fail "the window plugin does not link Qt Widgets"
grep -q '^ExecStart=/usr/bin/echolink-node --no-window$' "$root/usr/lib/systemd/user/echolink-node.service" \
  || fail "the user unit does not start the installed node without a window"

# The node's menu entry: valid, starting the installed node with its own installed icon.
node_desktop=$share/applications/$NODE_APP_ID.desktop
desktop-file-validate "$node_desktop" || fail "desktop-file-validate rejects $NODE_APP_ID.desktop"
[ "$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$node_desktop")" = echolink-node ] || fail "the node's entry does not start echolink-node"
[ -f "$share/icons/hicolor/scalable/apps/$(sed -n 's/^Icon=//p' "$node_desktop").svg" ] \
  || fail "the node's entry names an icon that is not installed"
grep -qF -- 'no\-window' <(zcat "$share/man/man1/echolink-node.1.gz") || fail "the node's man page lacks --no-window"

# D-Bus activation: the session service starts the installed node itself, with its
# window (no systemd unit named).
service=$share/dbus-1/services/$SIM.service
[ "$(cat "$service")" = "[D-BUS Service]
Name=$SIM
Exec=/usr/bin/echolink-node" ] || fail "the D-Bus service file reads: $(cat "$service")"

# Debian's own checks: no error and no warning.
lintian_report=$(lintian --no-tag-display-limit "$deb" 2>&1 | grep -E '^(E|W): ' || true)
[ -z "$lintian_report" ] || fail "lintian: $lintian_report"

# The unpacked programs, linked against the system's Qt, run from the temporary root.
# On a bus of the project's own configuration: the package's service file, not installed
# here, could not start anything on it anyway.
dbus-run-session --config-file="$(dirname "${BASH_SOURCE[0]}")/../scripts/session-bus.conf" -- \
  bash "${BASH_SOURCE[0]}" --run-installed "$root" "$work"
echo "PASS"
