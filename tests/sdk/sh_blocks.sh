# Sourced by the SDK tests: runs the ```sh blocks of a Markdown file as a
# reader would, in order and as written, in the calling shell (so cd, export
# and variables carry from block to block). A block fails when any command
# in it fails, pipes included; its output goes to a log shown on failure.
# A block fenced "```sh wine" runs Windows programs under Wine: where Wine
# cannot run (no 32-bit programs on this machine) it is reported as SKIP.
#   run_sh_blocks MARKDOWN LOG_DIR LABEL
# Prints "PASS|FAIL|SKIP LABEL:LINE: first line" per block and adds to the
# caller's passed and failed counts; no block at all is one failure.
wine_runs() {
    WINEDEBUG=-all wine --version >/dev/null 2>&1
}

run_sh_blocks() {
    local markdown=$1 logs=$2 label=$3
    local blocks=$logs/blocks
    rm -rf "$blocks"
    mkdir -p "$blocks"
    # Each block to blocks/LINE.sh (LINE.wine.sh), LINE being where its
    # commands start.
    awk -v dir="$blocks" '
        /^```sh[[:space:]]*$/ { inside = 1; file = sprintf("%s/%05d.sh", dir, NR + 1); next }
        /^```sh wine[[:space:]]*$/ { inside = 1; file = sprintf("%s/%05d.wine.sh", dir, NR + 1); next }
        /^```/ && inside { inside = 0; close(file); next }
        inside { print > file }
    ' "$markdown"
    local found=0 block line name log broken
    for block in "$blocks"/*.sh; do
        [ -e "$block" ] || continue
        found=1
        line=$(basename "$block")
        line=$((10#${line%%.*}))
        name="$label:$line: $(head -1 "$block")"
        if [[ "$block" == *.wine.sh ]] && ! wine_runs; then
            echo "SKIP $name (32-bit Wine cannot start here, and the SDK ships only the 32-bit part)"
            continue
        fi
        log=$logs/$label.$line.log
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
    if [ $found -eq 0 ]; then
        echo "FAIL $label: no sh blocks in $markdown"; failed=$((failed + 1))
    fi
}
