#!/usr/bin/env bash
# Remakes the README's pictures, docs/panel.png, docs/dialog.png, docs/completion.png,
# docs/node.png and docs/node-browser.png: builds, then runs the panel beside the EchoLink stand-in on a virtual
# display with openbox, a private session bus and a settings file of its own, and
# photographs the panel (large view, two nodes linked, one beside an unlinked conference),
# the Load Button dialog opened on it with a right click, and the dialog completing "w1"
# from the stand-in's station list; then runs echolink-node with its window on loopback (a
# second, headless node and the tests' directory server beside it, on 127.77.0.0/24) and
# photographs the panel and the node's window side by side, linked by a click on the panel;
# last, the node's station browser with a filter typed.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" != --on-virtual-display ]; then
  scripts/deps.sh --tests
  scripts/build.sh
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" scripts/with-openbox.sh \
    dbus-run-session --config-file=scripts/session-bus.conf -- "$0" --on-virtual-display
fi

readonly TITLE="Dialboard N0CALL"
sim=
panel=
work=$(mktemp -d)
node_a=
node_b=
b_bus_daemon=
directory=
trap 'kill $panel $sim $node_a $node_b $b_bus_daemon $directory 2>/dev/null || true; rm -rf "$work"' EXIT

fail() {
  echo "screenshots: $*" >&2
  exit 1
}

# Waits up to 30 s for a mapped window titled exactly $1 and prints its id.
window_titled() {
  local i id
  for ((i = 0; i < 300; ++i)); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1) || true
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

geometry() {
  xwininfo -id "$1" | sed -n "s/^ *$2: *\(-\?[0-9]*\)$/\1/p"
}

# A window with its frame, without the PNG's time stamps, so a remake of the same
# picture gives the same file.
photograph() {
  import -silent -frame -window "$1" -strip "$2"
  echo "wrote $2"
}

export XDG_CONFIG_HOME=$work QT_QPA_PLATFORM=xcb
mkdir -p "$work/Dialboard"
cat >"$work/Dialboard/Dialboard.conf" <<'EOF'
[Settings]
ScrnTop=1500
ScrnLeft=1500
ViewLarge=True
ViewSmall=False
NodeCall0=W1AW
NodeCall1=K2ABC-R
NodeCall2=VE3XYZ
NodeCall3=WA1ABC-L
NodeCall4=G4ABC-L
NodeCall5=N5ABC-R
NodeCall39=*ECHOTEST*
NodeCall38=W6ABC-L
EOF

build/tools/echolink-sim/echolink-sim --no-window --connect-delay 0 >"$work/sim.log" 2>&1 &
sim=$!
D=(dbus-send --session --print-reply --dest=org.dialboard.EchoLink /Control)
for ((i = 0; i < 50; ++i)); do
  "${D[@]}" org.dialboard.EchoLink.Simulator.Calls >/dev/null 2>&1 && break
  sleep 0.1
done
"${D[@]}" org.dialboard.EchoLink.Simulator.SetLinked string:W1AW boolean:true >/dev/null
"${D[@]}" org.dialboard.EchoLink.Simulator.SetLinked string:WA1ABC-L boolean:true >/dev/null
# The station list the dialog completes from (dbus-send cannot send structures).
busctl --user call org.dialboard.EchoLink /Control org.dialboard.EchoLink.Simulator SetStations "a(ssus)" 8 \
  W1AW "Newington, CT" 6914 ON W1ABC-L "Boston, MA" 123456 ON W1XYZ-R "Springfield, MA" 234567 BUSY \
  W1DEF "Hartford, CT" 345678 ON W1GHI-L "Portland, ME" 456789 ON K2ABC-R "Albany, NY" 567890 ON \
  VE3XYZ "Toronto, ON" 678901 ON "*ECHOTEST*" "Conference server" 9999 ON >/dev/null

build/dialboard >"$work/panel.log" 2>&1 &
panel=$!
id=$(window_titled "$TITLE") || { cat "$work/panel.log"; fail "no window titled '$TITLE'"; }
xdotool mousemove 1279 1023
sleep 1
mkdir -p docs
photograph "$id" docs/panel.png

# Right click on the second button of the left column, just below the menu bar.
x=$(geometry "$id" "Absolute upper-left X")
y=$(geometry "$id" "Absolute upper-left Y")
height=$(geometry "$id" "Height")
menu_bar=$((height - 400))
xdotool mousemove $((x + 49)) $((y + menu_bar + 30)) click 3
dialog=$(window_titled "Load Button") || fail "the Load Button dialog did not open"
sleep 1
photograph "$dialog" docs/dialog.png

# The call typed anew: the completion popup opens below the text box, wider than the
# dialog, so the picture is taken from the screen around both.
xdotool key --window "$dialog" ctrl+a BackSpace
xdotool type --window "$dialog" --delay 150 w1
xdotool key --window "$dialog" Down
sleep 1
dx=$(geometry "$dialog" "Absolute upper-left X")
dy=$(geometry "$dialog" "Absolute upper-left Y")
dheight=$(geometry "$dialog" "Height")
import -silent -window root -crop "340x$((dheight + 125))+$((dx - 8))+$((dy - 30))" +repage -strip docs/completion.png
echo "wrote docs/completion.png"

xdotool key Escape Escape
kill $panel $sim
wait $panel $sim 2>/dev/null || true

# The panel beside echolink-node's window, everything on loopback.
readonly NET=127.77.0
# The directory server runs until its input closes: this script holds it open.
mkfifo "$work/directory-input"
exec 3<>"$work/directory-input"
# Stations made up for the browser; nothing answers at their addresses.
listed=()
for entry in "W1ABC-L,3001,Boston MA" "W1XYZ,3002,Hartford CT" "K2ABC-R,3003,Albany NY" \
  "*W1-NET*,3004,New England net" "VE3XYZ,3005,Toronto ON" "W1QRP-R,3006,Worcester MA,BUSY" \
  "N5ABC-R,3007,Austin TX" "*ECHOTEST*,3008,Conference server" "G4ABC-L,3009,London" "W1AX,3010,Springfield MA"; do
  IFS=, read -r call id place status <<<"$entry"
  listed+=(--listed "$call,$id,$NET.$((id - 2980)),$place${status:+,$status}")
done
build/tests/node/directory_stand_in --address $NET.3 --password demo "${listed[@]}" \
  <"$work/directory-input" >"$work/directory.log" 2>&1 &
directory=$!
node_config() {
  mkdir -p "$work/$1/echolink-node"
  cat >"$work/$1/echolink-node/echolink-node.conf" <<EOF
[Station]
Callsign=$2
Password=demo
Name=$3
Location=Newington, CT
[Network]
DirectoryServers=$NET.3
BindAddress=$NET.$4
EOF
  chmod 600 "$work/$1/echolink-node/echolink-node.conf"
}
node_config node-a W1AW-L Hiram 1
node_config node-b K1ABC-L Ann 2
# B answers A's link from a session bus of its own (A owns the name on this one).
{ read -r b_bus; read -r b_bus_daemon; } < <(dbus-daemon --config-file=scripts/session-bus.conf --fork --print-address=1 --print-pid=1)
XDG_CONFIG_HOME=$work/node-b DBUS_SESSION_BUS_ADDRESS=$b_bus \
  build/src/node/echolink-node --no-window --no-audio >"$work/node-b.log" 2>&1 &
node_b=$!
XDG_CONFIG_HOME=$work/node-a build/src/node/echolink-node --no-audio >"$work/node-a.log" 2>&1 &
node_a=$!
node_window=$(window_titled "EchoLink W1AW-L") || { cat "$work/node-a.log"; fail "no node window"; }
xdotool windowsize "$node_window" 1000 460 windowmove "$node_window" 10 20
cat >"$work/Dialboard/Dialboard.conf" <<'EOF'
[Settings]
ScrnTop=300
ScrnLeft=15600
ViewLarge=False
ViewSmall=True
NodeCall0=K1ABC-L
NodeCall1=W2XYZ
NodeCall2=*ECHOTEST*
EOF
for ((i = 0; i < 100; ++i)); do
  grep -q "station list: 12 stations" "$work/node-a.log" && break
  sleep 0.1
done
build/dialboard >"$work/panel.log" 2>&1 &
panel=$!
id=$(window_titled "Dialboard W1AW") || { cat "$work/panel.log"; cat "$work/panel.log"; fail "no panel window on the node"; }
sleep 1
# A click on the panel's first button links; the panel's next refresh marks it.
x=$(geometry "$id" "Absolute upper-left X")
y=$(geometry "$id" "Absolute upper-left Y")
height=$(geometry "$id" "Height")
xdotool mousemove $((x + 49)) $((y + height - 50)) click 1
xdotool mousemove 1279 1023
sleep 7
grep -q "linked with K1ABC-L" "$work/node-a.log" || { cat "$work/node-a.log"; fail "the click did not link"; }
photograph "$id" "$work/panel-small.png"
photograph "$node_window" "$work/node.png"
convert "$work/panel-small.png" "$work/node.png" -background white -gravity north +append -strip docs/node.png
echo "wrote docs/node.png"

# The browser: the search box (Alt+F) narrowed to what holds "w1", the first row chosen.
kill $panel
wait $panel 2>/dev/null || true
xdotool windowactivate --sync "$node_window"
xdotool key --window "$node_window" alt+f
xdotool type --delay 120 "w1"
xdotool key Down
sleep 1
photograph "$node_window" docs/node-browser.png
