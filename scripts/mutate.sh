#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Mutation check, run by hand (not part of CI): puts the one-line faults of
# scripts/mutations.txt into the program one at a time, builds, runs the
# tests, and says which tests caught each fault, or that it SURVIVED.
#
#   scripts/mutate.sh            every fault
#   scripts/mutate.sh N [M...]   faults N, M, ... only
#   scripts/mutate.sh --list     the list, with each fault's place
#
# The build is incremental, in build-mutate/, configured as the test
# command's build stage (RelWithDebInfo, warnings as errors). The quick tests
# (every test not labelled realtime) run first; the real-time ones only when
# the quick ones did not catch the fault. Before the first fault, the
# unchanged tree is built and its quick tests run: a tree whose own tests
# fail would make every fault look caught.
#
# The changed file is put back after every fault, and on an interrupt. The
# script refuses to start while a file it would change has uncommitted
# changes, and never commits.
#
# Exit status: 0 when every fault run was caught, 1 when one survived, did
# not build or was stale, 2 when the script could not start.
#
# QV7M_MUTATE_JOBS sets the build's and the quick tests' parallelism
# (default: the number of processors).
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2

list_file=scripts/mutations.txt
build_dir=build-mutate
log_dir=$build_dir/mutate-logs
jobs=${QV7M_MUTATE_JOBS:-$(nproc 2>/dev/null || echo 2)}

usage() {
    sed -n '3,/^set -uo/{/^#/s/^# \{0,1\}//p}' "$0"
}

# --- the list -------------------------------------------------------------

names=()
files=()
patterns=()
replacements=()

trim() {
    local s=$1
    s=${s#"${s%%[![:space:]]*}"}
    s=${s%"${s##*[![:space:]]}"}
    printf '%s' "$s"
}

read_list() {
    local line rest field number=0 fields
    while IFS= read -r line || [ -n "$line" ]; do
        number=$((number + 1))
        [[ $line =~ ^[[:space:]]*(#|$) ]] && continue
        fields=()
        rest=$line
        while [[ $rest == *@@* ]]; do
            field=${rest%%@@*}
            fields+=("$(trim "$field")")
            rest=${rest#*@@}
        done
        fields+=("$(trim "$rest")")
        if [ "${#fields[@]}" -ne 4 ] || [ -z "${fields[0]}" ] || [ -z "${fields[1]}" ] || [ -z "${fields[2]}" ]; then
            echo "$list_file:$number: not \"fault @@ file @@ pattern @@ replacement\"" >&2
            exit 2
        fi
        names+=("${fields[0]}")
        files+=("${fields[1]}")
        patterns+=("${fields[2]}")
        replacements+=("${fields[3]}")
    done <"$list_file"
}

# The numbers of the lines of file $1 on which pattern $2 occurs.
lines_with() {
    [ -f "$1" ] || return 0
    PATTERN=$2 awk 'index($0, ENVIRON["PATTERN"]) { print NR }' "$1"
}

# Where entry $1 applies, as "file:line", or why it does not.
place_of() {
    local i=$1 found count
    if [ ! -f "${files[i]}" ]; then
        echo "STALE: no file ${files[i]}"
        return 1
    fi
    found=$(lines_with "${files[i]}" "${patterns[i]}")
    count=$(printf '%s' "$found" | grep -c .)
    if [ "$count" -ne 1 ]; then
        echo "STALE: the pattern is on $count lines of ${files[i]}"
        return 1
    fi
    echo "${files[i]}:$found"
}

# --- running commands so that an interrupt can stop them ------------------

child=
scratch=
mutated=

# Runs a command, its output into log $1, in its own session, so that the
# whole of it (make and its compilers, ctest and its tests and simulators) can
# be stopped together; the wait returns at once when the script is signalled.
# The log is opened here rather than around the call: a trap that runs during
# the wait would write into it.
run() {
    local log=$1
    shift
    setsid "$@" >"$log" 2>&1 &
    child=$!
    wait "$child"
    local rc=$?
    child=
    return "$rc"
}

# shellcheck disable=SC2317  # called from the exit trap
stop_child() {
    [ -n "$child" ] || return 0
    kill -TERM -- "-$child" 2>/dev/null || kill -TERM "$child" 2>/dev/null
    local k
    for k in $(seq 50); do
        kill -0 "$child" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL -- "-$child" 2>/dev/null
    wait "$child" 2>/dev/null
    child=
}

restore() {
    [ -n "$mutated" ] || return 0
    # A fresh modification time, so that the next build recompiles it.
    cat "$scratch/original" >"$mutated"
    if cmp -s "$scratch/original" "$mutated"; then
        echo "   restored $mutated"
    else
        echo "   COULD NOT RESTORE $mutated: its text is in $scratch/original" >&2
        scratch=  # kept for the user
    fi
    mutated=
}

# shellcheck disable=SC2317  # the exit trap
on_exit() {
    local rc=$?
    trap - INT TERM EXIT
    stop_child
    restore
    [ -n "$scratch" ] && rm -rf "$scratch"
    exit "$rc"
}

# shellcheck disable=SC2317  # the INT and TERM traps
interrupted() {
    echo
    echo "== interrupted: stopping, restoring the tree =="
    exit "$1"
}

# --- one fault ------------------------------------------------------------

results=()
places=()

apply() {
    local i=$1 line=$2
    cp -- "${files[i]}" "$scratch/original"
    mutated=${files[i]}
    PATTERN=${patterns[i]} REPLACEMENT=${replacements[i]} LINE=$line awk '
        NR == ENVIRON["LINE"] + 0 {
            at = index($0, ENVIRON["PATTERN"])
            $0 = substr($0, 1, at - 1) ENVIRON["REPLACEMENT"] substr($0, at + length(ENVIRON["PATTERN"]))
        }
        { print }' "$scratch/original" >"$scratch/mutated"
    cat "$scratch/mutated" >"${files[i]}"
}

# The tests that failed in ctest log $1, with why when it was not a plain
# failure: "test_a, test_b (Timeout)".
failed_tests() {
    sed -n '/tests FAILED:/,$s/^[[:space:]]*[0-9]\{1,\} - \([^ ]*\) (\([^)]*\)).*$/\1 (\2)/p' "$1" |
        sed 's/ (Failed)$//' | paste -sd, - | sed 's/,/, /g'
}

# The GoogleTest cases that failed in log $1, for whoever works on the
# tests; a parameterised test's instances counted under its name.
failed_cases() {
    sed -nE 's/^\[  FAILED  \] (.*) \([0-9]+ ms\)$/\1/p' "$1" | sed -E 's/, where GetParam\(\) = .*//; s#/[0-9]+$##' |
        sort | uniq -c | awk '
            NR <= 8 { print "     " $2 ($1 > 1 ? " (" $1 " instances)" : "") }
            END { if (NR > 8) print "     and " NR - 8 " more" }'
}

# Runs ctest with the label option $2 into log $3; sets `caught`.
tests_catch() {
    local what=$1 select=$2 log=$3 jobs_now=$4 start=$SECONDS rc
    run "$log" ctest --test-dir "$build_dir" "$select" realtime --output-on-failure -j"$jobs_now"
    rc=$?
    caught=$(failed_tests "$log")
    if [ "$rc" -ne 0 ] && [ -z "$caught" ]; then
        caught="ctest failed without naming a test"
    fi
    if [ -n "$caught" ]; then
        echo "   $what: caught by $caught ($((SECONDS - start)) s; log $log)"
        failed_cases "$log"
    else
        echo "   $what: none failed ($((SECONDS - start)) s)"
    fi
}

mutate_one() {
    local i=$1 n=$(($1 + 1)) place line start=$SECONDS
    echo
    if ! place=$(place_of "$i"); then
        echo "== $n. ${names[i]}: $place; skipped"
        results+=("$place")
        places+=("${files[i]}")
        return
    fi
    places+=("$place")
    line=${place##*:}
    echo "== $n. ${names[i]}: $place"
    apply "$i" "$line"
    echo "   - $(sed -n "${line}p" "$scratch/original" | sed 's/^[[:space:]]*//')"
    echo "   + $(sed -n "${line}p" "${files[i]}" | sed 's/^[[:space:]]*//')"
    if cmp -s "$scratch/original" "${files[i]}"; then
        echo "   the replacement changes nothing: fix the entry"
        results+=("STALE: the replacement changes nothing")
        restore
        return
    fi

    local build_log=$log_dir/$n-build.log
    if ! run "$build_log" cmake --build "$build_dir" -j"$jobs"; then
        echo "   DID NOT BUILD ($((SECONDS - start)) s): fix the entry; log $build_log"
        grep -m3 -E 'error:' "$build_log" | sed 's/^/     /'
        results+=("DID NOT BUILD")
        restore
        return
    fi
    echo "   built ($((SECONDS - start)) s)"

    local caught
    tests_catch "quick tests" -LE "$log_dir/$n-quick.log" "$jobs"
    if [ -n "$caught" ]; then
        echo "   real-time tests: not run, the quick tests caught it"
        results+=("caught: $caught")
    else
        tests_catch "real-time tests (ctest -L realtime)" -L "$log_dir/$n-realtime.log" 1
        if [ -n "$caught" ]; then
            results+=("caught (real-time): $caught")
        else
            echo "   SURVIVED"
            results+=("SURVIVED")
        fi
    fi
    restore
    echo "   $((SECONDS - start)) s"
}

duration() {
    local s=$1
    if [ "$s" -ge 60 ]; then
        printf '%d min %02d s' $((s / 60)) $((s % 60))
    else
        printf '%d s' "$s"
    fi
}

# --- main -----------------------------------------------------------------

case ${1:-} in
-h | --help)
    usage
    exit 0
    ;;
esac

read_list
total=${#names[@]}

if [ "${1:-}" = --list ]; then
    for ((i = 0; i < total; i++)); do
        printf '%3d  %-42s %s\n' $((i + 1)) "${names[i]}" "$(place_of "$i")"
    done
    exit 0
fi

chosen=()
if [ $# -eq 0 ]; then
    for ((i = 0; i < total; i++)); do chosen+=("$i"); done
else
    for arg in "$@"; do
        if ! [[ $arg =~ ^[0-9]+$ ]] || [ "$arg" -lt 1 ] || [ "$arg" -gt "$total" ]; then
            echo "mutate.sh: no fault \"$arg\" (the list has 1 to $total; --list shows them)" >&2
            exit 2
        fi
        chosen+=($((arg - 1)))
    done
fi

# The faults are undone by writing the committed text back: a file with
# changes of its own would lose them.
touched=()
for i in "${chosen[@]}"; do
    [ -f "${files[i]}" ] && touched+=("${files[i]}")
done
if [ "${#touched[@]}" -gt 0 ]; then
    dirty=$(git status --porcelain -- "${touched[@]}")
    if [ -n "$dirty" ]; then
        echo "mutate.sh: these files have uncommitted changes; commit or stash them first:" >&2
        echo "$dirty" >&2
        exit 2
    fi
fi

started=$SECONDS
scratch=$(mktemp -d)
trap on_exit EXIT
trap 'interrupted 130' INT
trap 'interrupted 143' TERM
mkdir -p "$log_dir"

echo "== the unchanged tree: configuring and building $build_dir"
if ! run "$log_dir/configure.log" cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV7M_WERROR=ON; then
    echo "mutate.sh: configuring failed; log $log_dir/configure.log" >&2
    exit 2
fi
if ! run "$log_dir/build.log" cmake --build "$build_dir" -j"$jobs"; then
    echo "mutate.sh: the unchanged tree does not build; log $log_dir/build.log" >&2
    exit 2
fi
caught=
tests_catch "its quick tests" -LE "$log_dir/quick.log" "$jobs"
if [ -n "$caught" ]; then
    echo "mutate.sh: the unchanged tree fails its own tests; fix that first" >&2
    exit 2
fi
echo "   ($(duration $((SECONDS - started))); its real-time tests are taken to pass)"

for i in "${chosen[@]}"; do mutate_one "$i"; done

echo
echo "== $((${#chosen[@]})) fault(s), $(duration $((SECONDS - started))) =="
name_width=5
place_width=5
for i in "${chosen[@]}"; do
    [ "${#names[i]}" -gt "$name_width" ] && name_width=${#names[i]}
done
for place in "${places[@]}"; do
    [ "${#place}" -gt "$place_width" ] && place_width=${#place}
done
printf '%3s  %-*s  %-*s  %s\n' '#' "$name_width" fault "$place_width" place result
status=0
for k in "${!chosen[@]}"; do
    i=${chosen[k]}
    printf '%3d  %-*s  %-*s  %s\n' $((i + 1)) "$name_width" "${names[i]}" "$place_width" "${places[k]}" "${results[k]}"
    [[ ${results[k]} == caught* ]] || status=1
done
exit "$status"
