#!/bin/sh
# Runs a command with a window manager on the current X display, so that
# windows get frames as they do on a desktop.
ready=$(mktemp -u)
openbox --sm-disable --startup "touch $ready" >/dev/null 2>&1 &
wm=$!
tries=0
while [ ! -e "$ready" ] && [ $tries -lt 100 ]; do
  sleep 0.1
  tries=$((tries + 1))
done
rm -f "$ready"
"$@"
status=$?
kill "$wm" 2>/dev/null
wait "$wm" 2>/dev/null
exit $status
