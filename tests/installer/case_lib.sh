# Shared by the installer's Wine test scripts: failure counting and the ending. Sourced,
# after case_name is set.
failures=0

fail() { echo "FAIL [$case_name]: $*" >&2; failures=$((failures + 1)); }
expect_eq() {  # expect_eq WHAT EXPECTED ACTUAL
  [ "$2" == "$3" ] || fail "$1: expected <$2>, got <$3>"
}

# run_case: makes the case's prefix, runs case_<name>, and exits with the verdict.
run_case() {
  make_prefix
  "case_$case_name"
  if ((failures > 0)); then
    echo "$case_name: $failures failure(s)" >&2
    exit 1
  fi
  echo "$case_name: passed"
}
