#!/bin/bash
# Builds the fuzz targets (fuzz/, a CMake project of its own, with clang) into a folder of
# their own, writes each target's seed corpus with our own writers and encoders, and runs
# every target on it. Fails on any finding; the input that found it is kept under
# <folder>/findings/<target>/ (replay it with: <folder>/<target> <that file>).
#   tools/run_fuzzers.sh <folder> short          each target a few seconds (CI)
#   tools/run_fuzzers.sh <folder> long [runs]    each target at least <runs> executions
#                                                 (default 1000000)
# FUZZ_JOBS targets run at once (default 4); FUZZ_SECONDS is the short run per target;
# FUZZ_TARGETS (names separated by blanks) runs only those.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: $0 <folder> short|long [runs]}
mode=${2:-short}
runs=${3:-1000000}
jobs=${FUZZ_JOBS:-4}
seconds=${FUZZ_SECONDS:-8}
unset http_proxy https_proxy ftp_proxy all_proxy no_proxy HTTP_PROXY HTTPS_PROXY FTP_PROXY ALL_PROXY NO_PROXY

if ! command -v clang++-14 >/dev/null; then
    echo "clang++-14 is missing: ./setup.sh installs clang-14 and libclang-rt-14-dev" >&2
    exit 1
fi
mkdir -p "$build"
build=$(cd "$build" && pwd)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
start=$(date +%s)
if ! CXX=clang++-14 cmake -S "$root/fuzz" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
        >"$build/configure.log" 2>&1 \
   || ! cmake --build "$build" -j"$jobs" >"$build/build.log" 2>&1; then
    cat "$build/configure.log" "$build/build.log" 2>/dev/null | tail -40
    echo "fuzz targets: build failed" >&2
    exit 1
fi
built=$(date +%s)
echo "fuzz targets built in $((built - start)) s"

# Leaks count as findings; a slow input (10 s) or a runaway allocation too. Memory is
# neither filled nor held back long after it is freed, and allocation stacks are kept
# short: on this virtual machine page faults and stack bookkeeping cost most of the
# time, and use after free is still caught within 8 MB of later allocations.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:max_malloc_fill_size=0:quarantine_size_mb=8:malloc_context_size=8}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=offscreen

run_target() {
    local target=$1 build=$2 mode=$3 runs=$4 seconds=$5 root=$6
    local seeds=$build/seeds/$target corpus=$build/corpus/$target findings=$build/findings/$target
    rm -rf "$seeds" "$corpus" "$findings"
    mkdir -p "$seeds" "$corpus" "$findings"
    if ! FUZZ_WRITE_SEEDS=$seeds "$build/$target" >"$build/$target.seeds.log" 2>&1; then
        echo "$target: writing seeds failed"; cat "$build/$target.seeds.log"; return 1
    fi
    local limit=(-max_total_time="$seconds")
    [ "$mode" = long ] && limit=(-runs="$runs")
    # fuzz/<target>.options: a target's own libFuzzer options ("-name=value") and
    # environment ("NAME=value"), one a line, with the reason in comments.
    local options=() line
    if [ -f "$root/fuzz/$target.options" ]; then
        while read -r line; do
            case "$line" in
                -*) options+=("$line") ;;
                [A-Z]*=*) export "${line?}" ;;
            esac
        done <"$root/fuzz/$target.options"
    fi
    local t0 t1 status
    t0=$(date +%s.%N)
    "$build/$target" "${limit[@]}" "${options[@]}" -timeout=10 -rss_limit_mb=2048 -max_len=8192 -print_final_stats=1 \
        -artifact_prefix="$findings/" "$corpus" "$seeds" >"$build/$target.log" 2>&1
    status=$?
    t1=$(date +%s.%N)
    local executed found
    executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/$target.log" | tail -1)
    found=$(find "$findings" -type f | wc -l)
    printf '%-20s executions %10s  seconds %7.1f  findings %s\n' "$target" "${executed:-?}" \
        "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')" "$found"
    if [ $status -ne 0 ] || [ "$found" -ne 0 ]; then
        grep -E 'ERROR|runtime error|property broken|SUMMARY|#0 |#1 |#2 |#3 |#4 |#5 ' "$build/$target.log" | head -30
        echo "$target: finding, input kept in $findings"
        return 1
    fi
}
export -f run_target

targets=$(cat "$build/targets.txt")
[ -n "${FUZZ_TARGETS:-}" ] && targets=$FUZZ_TARGETS
failed=0
printf '%s\n' $targets | xargs -P "$jobs" -I{} bash -c 'run_target "$@"' _ {} "$build" "$mode" "$runs" "$seconds" "$root" \
    || failed=1
echo "fuzz run ($mode) took $(($(date +%s) - start)) s in all"
exit $failed
