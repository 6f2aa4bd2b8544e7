#!/usr/bin/env bash
# Runs every test: installs what is missing, builds, then runs the suite on a virtual
# display with a real window manager (each test starts its own private session bus).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh --tests
scripts/build.sh
exec xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" scripts/with-openbox.sh \
  ctest --test-dir build --output-on-failure "$@"
