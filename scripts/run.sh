#!/usr/bin/env bash
# Runs the panel beside the EchoLink stand-in: installs what is missing, builds, makes sure
# there is a session bus, starts the stand-in with its window, then the panel.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "dialboard: no display. Run this from a desktop session, or give it one, for instance:" >&2
  echo "  xvfb-run -a scripts/run.sh   (then look at it with a VNC viewer or a screenshot)" >&2
  exit 1
fi

if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
  scripts/deps.sh
  # A bus of its own configuration: no installed service is started on it.
  exec dbus-run-session --config-file=scripts/session-bus.conf -- "$0" "$@"
fi

scripts/deps.sh
scripts/build.sh

build/tools/echolink-sim/echolink-sim "$@" &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
    org.freedesktop.DBus.GetNameOwner string:org.dialboard.EchoLink >/dev/null 2>&1 && break
  kill -0 $sim 2>/dev/null || { echo "dialboard: the EchoLink stand-in did not start" >&2; exit 1; }
  sleep 0.1
done
build/dialboard
