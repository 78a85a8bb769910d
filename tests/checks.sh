# The bookkeeping that the shell checks share. Source it, count each check with check (or
# passes and fails), and end with checks_end, whose status is 0 when nothing failed.
passed=0 failed=0
passes() { passed=$((passed + 1)); }
fails() {  # fails DESCRIPTION
  failed=$((failed + 1))
  echo "FAILED: $1"
}
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then passes; else fails "$1"; fi
}
checks_end() {  # checks_end NAME
  echo "$1: $passed passed, $failed failed"
  [ "$failed" = 0 ]
}
