#!/bin/sh
# Runs a host command over tests/probe/two_factory_calls.scn and checks what
# the factory did with the text library it found:
#   factory_probe.sh made -- COMMAND...        both components made, no probe line
#   factory_probe.sh CLASS BYTES -- COMMAND... neither made; exactly one line
#                                              naming CLASS and BYTES
mode=$1; shift
bytes=
if [ "$mode" != made ]; then bytes=$1; shift; fi
[ "$1" = "--" ] || { echo "usage: factory_probe.sh made|CLASS BYTES -- COMMAND..."; exit 2; }
shift
out=$("$@" 2>/tmp/factory_probe.$$)
err=$(cat /tmp/factory_probe.$$); rm -f /tmp/factory_probe.$$
echo "$out"; echo "$err"
made=$(echo "$out" | grep -c "^> PS '1'")
refused=$(echo "$out" | grep -c "the factory returned null")
lines=$(echo "$err" | grep -c "of the text library uses")
if [ "$mode" = made ]; then
    [ "$made" -eq 2 ] && [ "$refused" -eq 0 ] && [ "$lines" -eq 0 ] && exit 0
else
    wanted="Selvarin: $mode of the text library uses $bytes bytes, more than the [0-9]* reserved; no component is made"
    [ "$made" -eq 0 ] && [ "$refused" -eq 2 ] && [ "$lines" -eq 1 ] && echo "$err" | grep -q "$wanted" && exit 0
fi
echo "FAIL: $made made, $refused refused, $lines probe lines"
exit 1
