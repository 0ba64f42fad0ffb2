#!/usr/bin/env bash
# Runs every ```sh block of docs/component-guide.md, in order and as written,
# the way a reader would: in one bash session whose home folder is a fresh
# one holding ~/zorv, a link to this checkout (the guide installs the SDK
# into ~/zorv-sdk and writes its project under ~). The blocks share the
# session, so cd and export carry over; a block fails when any command in
# it fails. Prints PASS/FAIL per block with its first line in the guide,
# and ends with "N passed, M failed".
#   tests/sdk/test-guide.sh [WORK_DIR]
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tests/sdk/sh_blocks.sh"
work=$(realpath -m "${1:-$root/build/sdk-guide}")
rm -rf "$work"
mkdir -p "$work/home" "$work/logs"
ln -s "$root" "$work/home/zorv"

export HOME=$work/home
cd "$HOME" || exit 1
passed=0
failed=0
run_sh_blocks "$root/docs/component-guide.md" "$work/logs" guide
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
