#!/bin/bash
# Starts the real program under X, waits for its window, closes it as a window manager
# would, and checks the start and exit lines of the log file in its working directory.
set -u
program=$1   # the program; $3, optional: a calibration library to put beside it
xwindow=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
# A calibration library, when given, goes beside a copy of the program, as in an installation.
if [ $# -ge 3 ]; then
    mkdir bin && cp "$program" "$3" bin/ || exit 1
    program=$work/bin/$(basename "$program")
fi

"$program" > stdout.txt 2>&1 &
pid=$!
if ! "$xwindow" wait Varn28 20000 "$pid"; then
    echo "the main window did not appear"; kill "$pid"; cat stdout.txt; exit 1
fi
# A close request that arrives while Qt is still setting the window up can go unanswered
# (seen for several seconds on a loaded machine); ask again every second until it exits.
sleep 0.5
"$xwindow" close Varn28 "$pid" || { echo "could not close the window"; kill "$pid"; exit 1; }
i=0
while kill -0 "$pid" 2>/dev/null; do
    i=$((i + 1))
    [ $((i % 10)) -eq 0 ] && "$xwindow" close Varn28 "$pid"
    [ $i -gt 200 ] && { echo "the program did not exit"; cat stdout.txt; kill -9 "$pid"; exit 1; }
    sleep 0.1
done
wait "$pid"; rc=$?
[ $rc -eq 0 ] || { echo "exit code $rc"; cat stdout.txt; exit 1; }

log=log/log_$(date +%y%m%d).txt
[ -f "$log" ] || { echo "no log file $log"; ls -R; exit 1; }
grep -Eq '^\[Debug\] \*\*\*\*\*Init Varn28 Build[0-9]{6}\*\*\*\*\* \([0-9]{8} [0-9:.]{12}\)'$'\r''$' "$log" \
    || { echo "no start line:"; cat -A "$log"; exit 1; }
grep -q '^\[Debug\] \*\*\*\*\*Exit Varn28\*\*\*\*\* (' "$log" || { echo "no exit line:"; cat -A "$log"; exit 1; }
grep -q 'Exit Varn28' stdout.txt || { echo "no echo on standard output"; cat stdout.txt; exit 1; }
echo "start-up and exit logged"
