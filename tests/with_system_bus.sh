#!/usr/bin/env bash
# Runs a command with a private D-Bus daemon standing in for the system bus (and the session
# bus), so that a test can put a fake system service such as BlueZ on it without touching the
# machine's real buses, as root or as a user, with or without a session of its own.
# The daemon ends with the command; the exit status is the command's.
#
# Usage: with_system_bus.sh COMMAND [ARGUMENTS...]
set -euo pipefail
if [ $# -eq 0 ]; then
  echo "usage: $0 COMMAND [ARGUMENTS...]" >&2
  exit 2
fi
# dbus-run-session starts a daemon with the session configuration (no policy that would keep
# a user from owning a system service name) and stops it when the command has ended.
exec dbus-run-session -- bash -c '
  export DBUS_SYSTEM_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS"
  unset DBUS_STARTER_ADDRESS DBUS_STARTER_BUS_TYPE
  exec "$@"' with_system_bus "$@"
