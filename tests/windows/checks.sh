# The tally of the Windows DLL checks, sourced by check_dll.sh and
# check_vector_moves.sh: `check STATUS DESCRIPTION` counts a check as
# passed when STATUS is 0 and prints "FAIL DESCRIPTION" otherwise;
# `report_checks` prints "N passed, N failed" and fails if any did.
passed=0
failed=0
check() {
  if [ "$1" -eq 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL $2"
  fi
}

report_checks() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
