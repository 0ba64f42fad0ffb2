#!/bin/sh
# Runs a host command over tests/probe/two_factory_calls.scn and checks what
# the factory did with the text library it found:
#   factory_probe.sh made -- COMMAND...        both components made, no probe
#                                              line; the host reports nothing
#                                              ("!" lines) and exits with 0
#   factory_probe.sh CLASS BYTES -- COMMAND... neither made; exactly one line
#                                              naming CLASS and BYTES; the
#                                              host's only reports are the two
#                                              refusals, its exit status 1
mode=$1; shift
bytes=
if [ "$mode" != made ]; then bytes=$1; shift; fi
[ "$1" = "--" ] || { echo "usage: factory_probe.sh made|CLASS BYTES -- COMMAND..."; exit 2; }
shift
errors=$(mktemp) || exit 2
out=$("$@" 2>"$errors"); status=$?
err=$(cat "$errors"); rm -f "$errors"
# zorv-host.exe under Wine ends its lines with CR LF.
out=$(printf '%s\n' "$out" | tr -d '\r'); err=$(printf '%s\n' "$err" | tr -d '\r')
echo "$out"; echo "$err"; echo "exit status $status"
made=$(echo "$out" | grep -c "^> PS '1'")
refused=$(echo "$out" | grep -c "^! the factory returned null$")
reports=$(echo "$out" | grep -c "^!")
lines=$(echo "$err" | grep -c "of the text library uses")
if [ "$mode" = made ]; then
    [ "$status" -eq 0 ] && [ "$made" -eq 2 ] && [ "$reports" -eq 0 ] && [ "$lines" -eq 0 ] && exit 0
else
    wanted="Selvarin: $mode of the text library uses $bytes bytes, more than the [0-9]* reserved; no component is made"
    [ "$status" -eq 1 ] && [ "$made" -eq 0 ] && [ "$refused" -eq 2 ] && [ "$reports" -eq 2 ] && [ "$lines" -eq 1 ] &&
        echo "$err" | grep -q "$wanted" && exit 0
fi
echo "FAIL: exit status $status, $made made, $refused refused, $reports reports (! lines), $lines probe lines"
exit 1
