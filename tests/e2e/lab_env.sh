# Shared by the end-to-end drivers: the test lab's name and the lab functions. Sourced by
# a driver whose first argument is the build folder.
REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export NVLAB_NAME=${NVLAB_NAME:-$("$REPO/tests/e2e/lab_name.sh" "$1")}
LAB_CMD=$REPO/scripts/lab
for f in common hosts net prefix agent hostup; do source "$REPO/lab/lib/$f.sh"; done

# A failed case shows what each host's lab stack did last (the IP helper calls the agent made
# and their results), since the lab is gone by the time anybody reads the output.
e2e_fail() {
  local log
  printf 'FAIL: %s\n' "$*" >&2
  for log in "$LAB_DIR"/log/h*-stack.log; do
    [ -f "$log" ] || continue
    printf -- '--- last lines of %s:\n' "${log##*/}" >&2
    tail -n 8 "$log" >&2
  done
  exit 1
}
e2e_pass() { printf 'ok: %s\n' "$*"; }

# wait_until SECS WHAT COMMAND...: runs COMMAND every tenth of a second until it succeeds; the
# case fails with WHAT once SECS seconds have passed without.
wait_until() {
  local secs=$1 what=$2 deadline=$((SECONDS + $1))
  shift 2
  until "$@"; do
    ((SECONDS < deadline)) || e2e_fail "waited $secs s in vain for: $what"
    sleep 0.1
  done
}

# reg_value ID KEY NAME: the data of one registry value as `reg query` prints it.
# An empty value prints as an empty line (the fields left after name and type are joined
# with blanks, which are not part of the value).
reg_value() {
  { in_host "$1" wine reg query "$2" /v "$3" 2>/dev/null || true; } | tr -d '\r' |
    awk -v n="$3" '$1 == n { $1 = ""; $2 = ""; sub(/^ +/, ""); print; exit }'
}

# Windows path (through Wine's Z: drive) of a Linux path.
win_path() { echo "Z:${1//\//\\}"; }
