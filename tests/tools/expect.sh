# Shared by the host-program shell tests (sourced): counts failures and runs the program.
# The sourcing script sets tool (the program) and work (its scratch folder).
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# run ARGS...: the program succeeds; its stdout is left in $work/out, its stderr in $work/err.
run() { "$tool" "$@" >"$work/out" 2>"$work/err" || fail "$*: $(cat "$work/err")"; }

# expect STATUS PATTERN ARGS...: the program's exit status, and a line of its stderr or stdout
# matching PATTERN.
expect() {
  status=$1 pattern=$2; shift 2
  "$tool" "$@" >"$work/out" 2>"$work/err"
  got=$?
  [ "$got" -eq "$status" ] || fail "$* -> status $got, wanted $status"
  grep -q -e "$pattern" "$work/err" "$work/out" || fail "$* -> output lacks '$pattern': $(cat "$work/err")"
}

# finish NAME: says NAME ok when nothing failed; the status is the number of failures.
finish() {
  [ "$failures" -eq 0 ] && echo "$1 ok"
  exit "$failures"
}
