#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and runs every test: first as the program
# is built, then its Debian package is made and checked, then every test once
# more under AddressSanitizer and UndefinedBehaviorSanitizer, then each fuzzer
# for a bounded time. Every stage runs even when one before
# it failed; the closing lines say how each went.
#
# Warnings are errors in every stage (QV7M_WERROR).
#
# QV7M_TEST_STAGES picks stages (default "build package asan fuzz");
# QV7M_FUZZ_SECONDS sets each fuzzer's time (default 25).
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh || exit 1
jobs=$(nproc 2>/dev/null || echo 2)
stages=${QV7M_TEST_STAGES:-build package asan fuzz}
fuzz_seconds=${QV7M_FUZZ_SECONDS:-25}
mkdir -p build
summary=()
failed=0
started=$SECONDS

stage_wanted() { [[ " $stages " == *" $1 "* ]]; }

# Runs ctest and keeps its summary line for the end.
run_ctest() {
    local name=$1
    shift
    local log=$1/ctest.log
    ctest --test-dir "$@" 2>&1 | tee "$log"
    local rc=${PIPESTATUS[0]}
    local line
    line=$(grep -E '[0-9]+% tests passed' "$log" | tail -1)
    summary+=("$name, $((SECONDS - stage_start)) s:" "${line:-no tests ran}")
    [ "$rc" -eq 0 ] && [ -n "$line" ] || failed=1
}

# --- the program as built -------------------------------------------------
if stage_wanted build; then
    stage_start=$SECONDS
    if cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV7M_WERROR=ON && cmake --build build -j"$jobs"; then
        run_ctest build build --output-on-failure -j"$jobs"
    else
        summary+=("build, $((SECONDS - stage_start)) s:" "the build failed")
        failed=1
    fi
fi

# --- the Debian package, from the build above ------------------------------
if stage_wanted package; then
    stage_start=$SECONDS
    if [ -x build/app/qv7m ] && scripts/check_package.sh build; then
        summary+=("package, $((SECONDS - stage_start)) s:" "built, and every check passed")
    else
        summary+=("package, $((SECONDS - stage_start)) s:" "failed")
        failed=1
    fi
fi

# --- every test under the sanitizers --------------------------------------
if stage_wanted asan; then
    stage_start=$SECONDS
    # Any report fails its test: the first error ends the program, leaks
    # included; -fno-sanitize-recover makes undefined behaviour fatal too.
    export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    # The end-to-end tests run the program and the simulator (both slowed
    # down by the sanitizers) against each other in real time: one at a time,
    # so that neither is starved of the processor.
    if cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV7M_SANITIZE=ON -DQV7M_WERROR=ON \
            -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1" &&
        cmake --build build-asan -j"$jobs"; then
        run_ctest asan build-asan --output-on-failure -j1
    else
        summary+=("asan, $((SECONDS - stage_start)) s:" "the build failed")
        failed=1
    fi
    unset ASAN_OPTIONS UBSAN_OPTIONS
fi

# --- the fuzzers, a short run each ----------------------------------------
if stage_wanted fuzz; then
    stage_start=$SECONDS
    fuzzers=(fuzz_codec fuzz_rigctl)
    passed=0
    fuzz_failed=0
    if cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV7M_FUZZ=ON -DQV7M_TESTS=OFF -DQV7M_WERROR=ON \
            -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ &&
        cmake --build build-fuzz -j"$jobs" --target qv7m_fuzzers; then
        mkdir -p build-fuzz/artifacts
        for f in "${fuzzers[@]}"; do
            # New inputs go to the build's own corpus; the seeds stay as they are.
            mkdir -p "build-fuzz/corpus/$f"
            log=build-fuzz/$f.log
            if "build-fuzz/fuzz/$f" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
                    -artifact_prefix="build-fuzz/artifacts/$f-" "build-fuzz/corpus/$f" "fuzz/corpus/$f" >"$log" 2>&1; then
                stats=$(grep -E '^#[0-9]+' "$log" | tail -1 | sed -E 's/^#([0-9]+).*cov: ([0-9]+).*/\1 runs, coverage \2/')
                echo "$f: passed ($stats)"
                passed=$((passed + 1))
            else
                echo "$f: FAILED; the input that failed is in build-fuzz/artifacts/, the log in $log:"
                grep -vE '^(#[0-9]+|INFO:|\s*NEW_FUNC)' "$log" | tail -40
                fuzz_failed=$((fuzz_failed + 1))
            fi
        done
    else
        fuzz_failed=${#fuzzers[@]}
    fi
    summary+=("fuzz smoke, ${fuzz_seconds} s a fuzzer, $((SECONDS - stage_start)) s:" "fuzz: $passed passed, $fuzz_failed failed")
    [ "$fuzz_failed" -eq 0 ] || failed=1
fi

echo
echo "== test.sh: $((SECONDS - started)) s =="
# CTest's own summary lines, and the fuzzers' last.
for line in "${summary[@]}"; do echo "$line"; done
exit "$failed"
