#!/usr/bin/env bash
# Times tovik-md, cmark and md4c as whole processes (read, decode, convert, write) on one
# ~20 MB file made by repeating the answer corpus; prints the best of N wall-clock runs of
# each, taken in turns so that load on a shared machine hits all of them alike, and each
# one's speed as a multiple of cmark's.
#
#   bench/markdown/whole-process.sh [BUILD_DIR] [RUNS] [OTHER_TOVIK_MD]
#
# BUILD_DIR defaults to build/default; OTHER_TOVIK_MD, when given, is timed in the same turns
# (an older build, to compare before and after).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build/default}
runs=${2:-7}
other=${3:-}
corpus_dir=${TOVIK_MARKDOWN_CORPUS:-$here/../../../shared/bench/markdown}
size=$((20 * 1024 * 1024))

tovik=$build/tools/tovik-md
peer=$build/bench/markdown/md-peer
for program in "$tovik" "$peer"; do
    [[ -x $program ]] || { echo "missing $program: build tovik-md and md-peer first" >&2; exit 1; }
done

corpus=$(mktemp --suffix=.md)
trap 'rm -f "$corpus"' EXIT
# Answers one after another, each closed by a blank line, until the file reaches the size.
while (( $(stat -c %s "$corpus") < size )); do
    for answer in "$corpus_dir"/*.md; do
        cat "$answer" >>"$corpus"
        printf '\n\n' >>"$corpus"
    done
done

names=(tovik-md cmark md4c)
[[ -n $other ]] && names+=(other-tovik-md)
declare -a best
for ((i = 0; i < ${#names[@]}; i++)); do best[i]=999999; done

run() {
    case $1 in
    tovik-md) "$tovik" "$corpus" ;;
    cmark | md4c) "$peer" "$1" "$corpus" ;;
    other-tovik-md) "$other" "$corpus" ;;
    esac
}

# Wall-clock milliseconds of one run, its output thrown away.
time_ms() {
    local start end
    start=$EPOCHREALTIME
    run "$1" >/dev/null
    end=$EPOCHREALTIME
    echo $(((${end/./} - ${start/./}) / 1000))
}

for ((round = 0; round < runs; round++)); do
    for ((i = 0; i < ${#names[@]}; i++)); do
        ms=$(time_ms "${names[i]}")
        (( ms < best[i] )) && best[i]=$ms
    done
done

bytes=$(stat -c %s "$corpus")
printf 'corpus %.1f MB, best of %d runs\n' "$(echo "$bytes / 1000000" | bc -l)" "$runs"
for ((i = 0; i < ${#names[@]}; i++)); do
    printf '  %-15s %6d ms  %7.1f MB/s  %.2f x cmark\n' "${names[i]}" "${best[i]}" \
        "$(echo "$bytes / 1000 / ${best[i]}" | bc -l)" "$(echo "${best[1]} / ${best[i]}" | bc -l)"
done
