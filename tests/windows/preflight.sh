#!/bin/sh
# zorv-host.exe preflight, one case a run (named by the first argument):
# the exit status, how many FAIL lines, lines that must be there and lines
# that must not (grep -E patterns on whole lines of the report).
#   preflight.sh CASE RUN ZORV_HOST_EXE DIST_DIR BIN_DIR WORK_DIR
# RUN runs a Windows program under the tier's Wine; DIST_DIR holds the
# component and the text library, BIN_DIR the test builds (faulty
# components, oversized text libraries).
case=$1; run=$2; host=$3; dist=$4; bin=$5; work=$6
rm -rf "$work"; mkdir -p "$work/cwd"
winpath() { printf 'Z:%s' "$1" | tr / '\\' | sed 's/[][\\.*^$]/\\&/g'; }   # as a pattern

# expect STATUS FAILS [+PATTERN | -PATTERN]... -- ARGUMENTS...
#   runs EXE preflight ARGUMENTS (EXE: $exe, else the built one)
expect() {
    want=$1; fails=$2; shift 2
    patterns=$work/patterns; : > "$patterns"
    while [ "$1" != "--" ]; do printf '%s\n' "$1" >> "$patterns"; shift; done
    shift
    out=$(cd "$work/cwd" && "$run" "${exe:-$host}" preflight "$@" 2>&1 </dev/null); rc=$?
    out=$(printf '%s\n' "$out" | tr -d '\r')   # Windows line ends
    printf '%s\n' "$out"
    ok=0
    [ $rc -eq "$want" ] || { echo "-- exit $rc, wanted $want"; ok=1; }
    n=$(printf '%s\n' "$out" | grep -c '^FAIL ')
    [ "$n" -eq "$fails" ] || { echo "-- $n FAIL lines, wanted $fails"; ok=1; }
    while IFS= read -r p; do
        case $p in
            +*) printf '%s\n' "$out" | grep -qE -- "^${p#+}\$" || { echo "-- no line: ${p#+}"; ok=1; } ;;
            -*) ! printf '%s\n' "$out" | grep -qE -- "^${p#-}\$" || { echo "-- a line: ${p#-}"; ok=1; } ;;
        esac
    done < "$patterns"
    rm -rf "$work"
    exit $ok
}

case $case in
ready)
    expect 0 0 "+ready to deploy" "+PASS validate: strictness 1: [0-9]+ passed, 0 failed" -- \
        "$dist/Selvarin.dll" --text-library "$dist/zorv_string.dll" ;;
json)
    expect 0 0 '+ *"status": "PASS",?' '+ *"status": "NOTE",?' '+ *"pass": true,?' -- \
        "$dist/Selvarin.dll" --host-folder "$dist" --json ;;
missing_names)
    # A library lacking the names: one FAIL, naming them readably; what needs
    # them is not run.
    expect 1 1 "+FAIL names from zorv_string.dll: [0-9]+ of [0-9]+ missing: .*zorv_string::arg\(int, char, unsigned int, int\) const.*" \
        "+SKIP text library objects: not run: names from zorv_string.dll failed" \
        "+SKIP validate: not run: names from zorv_string.dll failed" -- \
        "$dist/Selvarin.dll" --text-library "$bin/faulty_null_factory.dll" ;;
missing_dll)
    # The component alone, no text library anywhere the host looks: one FAIL.
    mkdir -p "$work/alone" && cp "$dist/Selvarin.dll" "$work/alone/"
    expect 1 1 "+FAIL imports zorv_string.dll: zorv_string.dll not found by the panel host's plain load \(searched, in order: .*\)" \
        "+SKIP names from zorv_string.dll: not run: imports zorv_string.dll failed" \
        "+SKIP text library objects: not run: imports zorv_string.dll failed" \
        "+SKIP validate: not run: imports zorv_string.dll failed" -- \
        "$work/alone/Selvarin.dll" ;;
oversized_text_library)
    expect 1 1 "+FAIL text library objects: the component's first factory call made nothing \(the factory returned null\).*" \
        "+SKIP validate: not run: text library objects failed" -- \
        "$dist/Selvarin.dll" --text-library "$bin/oversized_text/zorv_string.dll" ;;
validate_lines)
    # Each failed check of the validation on a line of its own under it.
    expect 1 2 "+FAIL validate: strictness 1: [0-9]+ passed, [1-9][0-9]* failed.*" \
        "+    FAIL  queries.handback: .*" "+    FAIL  replies.fresh: .*" "-.*; FAIL .*" -- \
        "$bin/faulty_unreleased_query.dll" --text-library "$dist/zorv_string.dll" ;;
search_order_host_folder)
    # The component alone with its layout, zorv-host.exe (the host here)
    # beside the text library: the host's plain load finds it there, the
    # altered search path finds none, and the component is ready.
    mkdir -p "$work/alone" "$work/host" && cp "$dist/Selvarin.dll" "$dist/mymon.zorv_ui" "$work/alone/" &&
        cp "$host" "$dist/zorv_string.dll" "$work/host/"
    exe=$work/host/$(basename "$host")
    hostdir=$(winpath "$work/host"); alone=$(winpath "$work/alone")
    expect 0 0 "+NOTE search order: assumed for the panel host: a plain load of the component's full path, which looks for its imports in the host program's folder first \($hostdir, this program's; .*\), not in the component's, .*" \
        "+    plain load \(the panel host\): finds $hostdir\\\\zorv_string.dll" \
        "+    altered search path \(zorv-host.exe; the component's folder first\): finds no zorv_string.dll \(searched, in order: $alone; .*\)" \
        "+PASS imports zorv_string.dll: $hostdir\\\\zorv_string.dll" "+ready to deploy" -- \
        "$work/alone/Selvarin.dll" ;;
missing_layout)
    # Without the layout it shows, the validation only warns, but the
    # control room would get an empty panel: not ready.
    mkdir -p "$work/alone" && cp "$dist/Selvarin.dll" "$work/alone/"
    expect 1 1 "+FAIL validate: strictness 1: [0-9]+ passed, 0 failed, 1 warned" \
        "+    WARN  library.layouts: the layout \"mymon.zorv_ui\" shown on panel 1 is not there \(looked for .*\); no check pressed its buttons" \
        "+not ready to deploy" -- \
        "$work/alone/Selvarin.dll" --text-library "$dist/zorv_string.dll" ;;
search_order_component_folder)
    # The text library beside the component only: zorv-host.exe's own load
    # would find it, the panel host's would not. One FAIL says both.
    mkdir -p "$work/component" "$work/host" && cp "$dist/Selvarin.dll" "$dist/zorv_string.dll" "$work/component/"
    component=$(winpath "$work/component"); hostdir=$(winpath "$work/host")
    expect 1 1 "+    plain load \(the panel host\): finds no zorv_string.dll \(searched, in order: $hostdir; .*\)" \
        "+    altered search path \(zorv-host.exe; the component's folder first\): finds $component\\\\zorv_string.dll" \
        "+FAIL imports zorv_string.dll: zorv_string.dll not found by the panel host's plain load \(searched, in order: $hostdir; .*\); only the altered search path, which the host does not use, finds $component\\\\zorv_string.dll" \
        "-.*searched, in order: [^)]*$component[;)].*" -- \
        "$work/component/Selvarin.dll" --host-folder "$work/host" ;;
*)
    echo "preflight.sh: no case $case"; exit 2 ;;
esac
