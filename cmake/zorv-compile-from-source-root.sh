#!/bin/sh
# Compiler launcher of the Windows build: runs clang-cl in the source root
# with the source file named relative to it. clang-cl puts a hash of the
# main file's name, as given, into the names of types in anonymous
# namespaces, which the PDB holds; named from the source root, they are the
# same wherever the tree is cloned and built.
#   zorv-compile-from-source-root.sh SOURCE_ROOT COMPILER ARGS... -- SOURCE
# Outputs named relative to the build folder are made absolute, and headers
# that /showIncludes reports relative to the source root are reported
# absolute, as Ninja reads them. A command without "--" runs unchanged.
root=$1
shift
build=$(pwd)
count=$#
inputs=
object=
for arg do
    if [ -n "$inputs" ]; then
        case $arg in
            "$root"/*) arg=${arg#"$root"/} ;;
            /*) ;;
            *) arg=$build/$arg ;;
        esac
    else
        case $arg in
            --) inputs=1
                set -- "$@" "/clang:-working-directory=$root"
                # The object's own name in its debug info stays relative, as
                # lld-link makes it absolute against /pdbsourcepath.
                [ -z "$object" ] || set -- "$@" "-object-file-name=$object" ;;
            /Fo/* | /Fd/*) ;;
            /Fo*) object=${arg#/Fo}
                  arg=/Fo$build/$object ;;
            /Fd*) arg=/Fd$build/${arg#/Fd} ;;
        esac
    fi
    set -- "$@" "$arg"
done
shift "$count"

out=$("$@")
status=$?
if [ -n "$out" ]; then
    printf '%s\n' "$out" | ZORV_ROOT=$root awk '
        BEGIN { note = "Note: including file:"; root = ENVIRON["ZORV_ROOT"] }
        index($0, note) == 1 {
            rest = substr($0, length(note) + 1)
            match(rest, /^ */)
            path = substr(rest, RLENGTH + 1)
            if (path !~ /^\//) {
                sub(/^(\.\/)+/, "", path)
                $0 = note substr(rest, 1, RLENGTH) root "/" path
            }
        }
        { print }'
fi
exit $status
