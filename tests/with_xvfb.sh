#!/usr/bin/env bash
# Runs a command against a private Xvfb server (24-bit screen) and stops the server after.
# The server picks its own free display number (-displayfd) so that tests running in parallel
# never share, or kill, one another's server.
# -noreset: the server must not reset between the tests' connections.
# Exits 77 (skipped) when Xvfb is not installed.
set -u
command -v Xvfb >/dev/null 2>&1 || { echo "Xvfb is not installed: skipped"; exit 77; }
fifo_dir=$(mktemp -d)
mkfifo "$fifo_dir/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
  3>"$fifo_dir/display" >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -rf "$fifo_dir"' EXIT
# The server writes its display number once it is ready for connections.
number=$(timeout 20 head -n 1 "$fifo_dir/display")
[ -n "$number" ] || { echo "Xvfb did not start"; exit 1; }
DISPLAY=":$number" "$@"
