#!/usr/bin/env bash
# Runs a command against a private Xvfb server (24-bit screen) and stops the server after.
# -noreset: the server must not reset between the tests' connections.
# Exits 77 (skipped) when Xvfb is not installed.
set -u
command -v Xvfb >/dev/null 2>&1 || { echo "Xvfb is not installed: skipped"; exit 77; }
for n in $(seq 90 140); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=":$n"; break; }
done
[ -n "${display:-}" ] || { echo "no free X display number"; exit 1; }
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null' EXIT
for _ in $(seq 1 100); do
  [ -e "/tmp/.X11-unix/X${display#:}" ] && break
  sleep 0.1
done
DISPLAY=$display "$@"
