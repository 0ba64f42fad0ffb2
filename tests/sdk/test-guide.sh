#!/usr/bin/env bash
# Runs every ```sh block of docs/component-guide.md, in order and as written,
# the way a reader would: in one bash session whose home folder is a fresh
# one holding ~/zorv, a link to this checkout (the guide installs the SDK
# into ~/zorv-sdk and writes its project under ~). The blocks share the
# session, so cd and export carry over; a block fails when any command in
# it fails (pipes included). Prints PASS/FAIL per block with its first line
# in the guide, and ends with "N passed, M failed".
#   tests/sdk/test-guide.sh [WORK_DIR]
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
guide=$root/docs/component-guide.md
work=$(realpath -m "${1:-$root/build/sdk-guide}")
rm -rf "$work"
mkdir -p "$work/home" "$work/blocks" "$work/logs"
ln -s "$root" "$work/home/zorv"

# Each block to blocks/LINE.sh, LINE being where its commands start.
awk -v dir="$work/blocks" '
    /^```sh[[:space:]]*$/ { inside = 1; file = sprintf("%s/%05d.sh", dir, NR + 1); next }
    /^```/ && inside { inside = 0; close(file); next }
    inside { print > file }
' "$guide"
blocks=("$work"/blocks/*.sh)
if [ ! -e "${blocks[0]}" ]; then
    echo "FAIL guide: no sh blocks in $guide"
    echo "0 passed, 1 failed"
    exit 1
fi

export HOME=$work/home
cd "$HOME" || exit 1
passed=0
failed=0
for block in "${blocks[@]}"; do
    line=$((10#$(basename "$block" .sh)))
    name="guide:$line: $(head -1 "$block")"
    log=$work/logs/$line.log
    broken=0
    trap 'broken=1' ERR
    eval "$(cat "$block")" >"$log" 2>&1 </dev/null
    trap - ERR
    if [ $broken -eq 0 ]; then
        echo "PASS $name"; passed=$((passed + 1))
    else
        echo "FAIL $name"; sed 's/^/    /' "$log" | tail -40; failed=$((failed + 1))
    fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
