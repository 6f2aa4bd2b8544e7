#!/usr/bin/env bash
# Remakes the README's pictures, docs/panel.png and docs/dialog.png: builds, then runs the
# panel beside the EchoLink stand-in on a virtual display with openbox, a private session
# bus and a settings file of its own, and photographs the panel (large view, two nodes
# linked, one beside an unlinked conference) and the Load Button dialog opened on it
# with a right click.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" != --on-virtual-display ]; then
  scripts/deps.sh --tests
  scripts/build.sh
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" scripts/with-openbox.sh \
    dbus-run-session -- "$0" --on-virtual-display
fi

readonly TITLE="Dialboard N0CALL"
sim=
panel=
work=$(mktemp -d)
trap 'kill $panel $sim 2>/dev/null || true; rm -rf "$work"' EXIT

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
