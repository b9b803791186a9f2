#!/usr/bin/env bash
# Prints the name of the test lab that belongs to a build folder, so that test runs of
# different builds on one machine each get a lab of their own. Usage: lab_name.sh BUILD_DIR
set -euo pipefail
sum=$(cd "$1" && pwd | cksum | cut -d' ' -f1)
printf 'nvt%04x\n' $((sum % 65536))
