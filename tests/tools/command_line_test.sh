#!/usr/bin/env bash
# Every tool as a new user tries it, in an empty folder: --help prints the usage and ends with 0,
# --version its name and the project's version (KL_VERSION in the environment); an
# unknown option ends with 2 and one line on stderr pointing at --help; a file or folder name that
# reads as an option is refused the same way; and nothing is ever written into the folder.
# Usage: command_line_test.sh TOOL...
set -u
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

# expect STATUS TOOL ARGS...: the status, and for a refusal exactly one stderr line naming --help.
expect() {
    local want=$1; shift
    timeout 60 "$@" >out 2>err </dev/null
    local got=$?
    local name
    name=$(basename "$1")
    [ "$got" -eq "$want" ] || fail "$name ${*:2}: exit status $got, expected $want ($(head -c 300 err))"
    if [ "$want" -eq 0 ]; then
        [ -s out ] || fail "$name ${*:2}: no usage on stdout"
    else
        [ "$(wc -l <err)" -eq 1 ] || fail "$name ${*:2}: $(wc -l <err) lines on stderr, expected one"
        grep -q -- '--help' err || fail "$name ${*:2}: the refusal does not point at --help: $(cat err)"
    fi
    rm -f out err
}

# version TOOL: one line, the tool's name, the project's name and version.
version() {
    local name got
    name=$(basename "$1")
    got=$(timeout 60 "$1" --version 2>&1 </dev/null)
    [ "$?" -eq 0 ] || fail "$name --version: exit status not 0"
    [ "$got" = "$name (Kelvane 3D) ${KL_VERSION:?}" ] || fail "$name --version: '$got'"
}

for tool in "$@"; do
    expect 0 "$tool" --help
    version "$tool"
    expect 0 "$tool" -h
    expect 2 "$tool" --bogus
    expect 2 "$tool" -x
    case $(basename "$tool") in
        imginfo) expect 2 "$tool" --png --help picture.bmp ;;
        engine-showcase) expect 2 "$tool" --screenshot --frames 1; expect 2 "$tool" --data -x ;;
        bench_scene_baseline) expect 2 "$tool" --stats --data .; expect 2 "$tool" --frames 12abc ;;
        bench_gl_boxes) expect 2 "$tool" 400abc ;;
        make-data|image-seeds|make_xfile_seeds) expect 2 "$tool" ;;
    esac
done

left=$(ls -A)
[ -z "$left" ] || fail "the tools left files behind: $left"
[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "all $# tools answer --help and --version and refuse unknown options"
