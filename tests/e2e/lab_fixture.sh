#!/usr/bin/env bash
# CTest fixture of the end-to-end suite: brings the test lab up with the build under test,
# or takes it down again. Usage: lab_fixture.sh up|down BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export NVLAB_NAME=${NVLAB_NAME:-$("$here/lab_name.sh" "$2")} NVLAB_BUILD=$2
lab=$here/../../scripts/lab
case $1 in
  up)
    start=$(date +%s%3N)
    "$lab" up 3
    echo "lab up: $(($(date +%s%3N) - start)) ms"
    ;;
  down) "$lab" down ;;
  *) echo "usage: lab_fixture.sh up|down BUILD_DIR" >&2; exit 2 ;;
esac
