#!/bin/sh
# Runs a command on a private X server (Xvfb) with a notification area (trayer), so that
# tray icon tests see a real tray. Usage: with_tray_host.sh COMMAND [ARGS...]
exec xvfb-run -a -s "-screen 0 1280x900x24 -noreset" sh -c '
  trayer --SetDockType true --expand false --widthtype pixel --width 100 >/dev/null 2>&1 &
  tray=$!
  "$@"
  status=$?
  kill $tray 2>/dev/null
  exit $status
' sh "$@"
