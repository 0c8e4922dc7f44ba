#!/usr/bin/env bash
# Runs a command inside its own X display and, within it, its own D-Bus session (where the
# accessibility bus and registry start on demand and see the display), so an AT-SPI client
# can talk to the program it starts and send it keys.
#
# -noreset: by default the X server resets when its last client leaves and refuses connections
# meanwhile; a helper of the session that connected and left just before the program started
# made the program fail to open the display about every second run.
set -euo pipefail
exec xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" dbus-run-session -- "$@"
