#!/bin/bash
# Runs inside xvfb-run: starts a real window manager (openbox) and the real program, then,
# with the pointer driven by xdotool, drags the frameless main window by its title bar,
# enlarges it at its bottom-right corner and maximizes and restores it by double clicks on
# the title bar.
set -u
program=$1
calibration=$2   # the task form wants a calibration library beside the program
work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work" || exit 1
mkdir bin && cp "$program" "$calibration" bin/ || exit 1

fail() { echo "FAIL: $*"; [ -f stdout.txt ] && tail -40 stdout.txt; exit 1; }

openbox --sm-disable > openbox.txt 2>&1 &
pids+=($!)
for i in $(seq 100); do
    xdotool get_num_desktops > /dev/null 2>&1 && break
    sleep 0.1
done
xdotool get_num_desktops > /dev/null 2>&1 || fail "openbox did not start"

"$work/bin/$(basename "$program")" > stdout.txt 2>&1 &
pid=$!
pids+=($pid)
wid=""
for i in $(seq 200); do
    wid=$(xdotool search --onlyvisible --pid "$pid" --name '^Varn28$' 2>/dev/null | head -1)
    [ -n "$wid" ] && break
    sleep 0.1
done
[ -n "$wid" ] || fail "the main window did not appear"
sleep 1 # let the window settle where the window manager placed it

geometry() { # sets X Y WIDTH HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$wid")"
}
# Drags with the left button from (x, y) by (dx, dy), as a hand would: a few pixels first
# (enough to tell a drag from a click), then in steps. A drag on the title bar starts the
# window manager's move there, so the window may trail the pointer by that first step.
drag() {
    local x=$1 y=$2 dx=$3 dy=$4 steps=10
    xdotool mousemove "$x" "$y"
    sleep 0.2
    xdotool mousedown 1
    sleep 0.2
    xdotool mousemove $((x + 6)) $((y + 5))
    sleep 0.1
    for i in $(seq $steps); do
        xdotool mousemove $((x + dx * i / steps)) $((y + dy * i / steps))
        sleep 0.05
    done
    sleep 0.2
    xdotool mouseup 1
    sleep 0.5
}
near() { [ $(($1 - $2)) -le $3 ] && [ $(($2 - $1)) -le $3 ]; }

xdotool windowmove "$wid" 40 40
sleep 0.5
geometry
echo "placed at $X,$Y size ${WIDTH}x$HEIGHT"
# An empty part of the title bar: left of the three window buttons, right of the tabs.
titleX=$((X + WIDTH - 250)); titleY=$((Y + 20))
drag $titleX $titleY 150 100
x0=$X; y0=$Y; geometry
echo "after the title drag: $X,$Y"
near $X $((x0 + 150)) 8 && near $Y $((y0 + 100)) 8 || fail "title-bar drag moved the window from $x0,$y0 to $X,$Y"

w0=$WIDTH; h0=$HEIGHT
drag $((X + WIDTH - 2)) $((Y + HEIGHT - 2)) 80 40
geometry
echo "after the corner drag: ${WIDTH}x$HEIGHT at $X,$Y"
[ $WIDTH -ge $((w0 + 60)) ] && [ $HEIGHT -ge $((h0 + 30)) ] || fail "corner drag left the size ${WIDTH}x$HEIGHT (was ${w0}x$h0)"

w1=$WIDTH; h1=$HEIGHT
read -r SCREENWIDTH SCREENHEIGHT < <(xdotool getdisplaygeometry)
xdotool mousemove $((X + WIDTH - 250)) $((Y + 20)) click --repeat 2 --delay 80 1
for i in $(seq 50); do geometry; [ $WIDTH -eq $SCREENWIDTH ] && [ $HEIGHT -eq $SCREENHEIGHT ] && break; sleep 0.1; done
echo "after a double click: ${WIDTH}x$HEIGHT at $X,$Y"
[ $WIDTH -eq $SCREENWIDTH ] && [ $HEIGHT -eq $SCREENHEIGHT ] || fail "double click did not maximize (${WIDTH}x$HEIGHT)"

sleep 0.5
xdotool mousemove $((X + WIDTH - 250)) $((Y + 20)) click --repeat 2 --delay 80 1
for i in $(seq 50); do geometry; [ $WIDTH -eq $w1 ] && [ $HEIGHT -eq $h1 ] && break; sleep 0.1; done
echo "after a second double click: ${WIDTH}x$HEIGHT at $X,$Y"
[ $WIDTH -eq $w1 ] && [ $HEIGHT -eq $h1 ] || fail "second double click did not restore ${w1}x$h1 (${WIDTH}x$HEIGHT)"
kill -0 "$pid" || fail "the program ended"
echo "moved, resized, maximized and restored under a window manager"
