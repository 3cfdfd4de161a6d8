#!/bin/sh
# Vantoro's shutdown launcher, written beside the program when missing.
# Usage: poweroff -s -t SECONDS -c "comment"
# Shows the comment to the logged-on users, waits, then powers the machine off.

shut=0
delay=0
comment=""
while [ $# -gt 0 ]; do
  case "$1" in
    -s|/s) shut=1 ;;
    -t|/t) if [ $# -ge 2 ]; then delay=$2; shift; fi ;;
    -c|/c) if [ $# -ge 2 ]; then comment=$2; shift; fi ;;
  esac
  shift
done

# Only a shutdown is ever asked for; anything else does nothing.
[ "$shut" -eq 1 ] || exit 0
case "$delay" in
  ''|*[!0-9]*) delay=0 ;;
esac

if [ -n "$comment" ] && command -v wall >/dev/null 2>&1; then
  printf '%s\n' "$comment" | wall >/dev/null 2>&1
fi
sleep "$delay"
if command -v systemctl >/dev/null 2>&1 && systemctl poweroff; then
  exit 0
fi
exec shutdown -h now
