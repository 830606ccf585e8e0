#!/usr/bin/env bash
# scripts/check-two-users.sh [BUILD]: another local user against Porvane, run
# as root. The victim (uid 1001) starts the real program in a folder both may
# write to (0777, no sticky bit); the other user (nobody) has put links under
# the side files' names there, puts "Bmp.bmp" back as fast as it is removed,
# and listens on the names where a start might look for a running program.
# Then the link box's socket and the command line's messages.
#
# Passes when, at the end, the victim's files are as they were, the program
# runs with a window of its own, the other user heard no hand-off and holds
# no socket of the program, the link box refused what it must, and no control
# byte of a saver name reached the terminal.
#   PORVANE_DISPLAY  the X display for Xvfb (default :63); without Xvfb the
#                    program runs offscreen
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
display=${PORVANE_DISPLAY:-:63}
victim=1001
other=65534
if [[ $(id -u) -ne 0 ]]; then
    echo "check-two-users: run as root (it acts as two users)" >&2
    exit 2
fi
for program in porvane porvane-cli porvane-linkbox; do
    [[ -x $build/$program ]] || { echo "check-two-users: no $build/$program" >&2; exit 2; }
done

work=$(mktemp -d /tmp/porvane-two-users.XXXXXX)
chmod 0755 "$work"
pids=()
failures=0
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    sleep 1
    for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null; done
    rm -rf "$work" "/tmp/porvane-$victim" "/tmp/porvane-$victim-"*
}
trap cleanup EXIT
check() { # check TEXT COMMAND...
    if "${@:2}"; then echo "ok    $1"; else echo "FAIL  $1"; failures=$((failures + 1)); fi
}
as_victim() { setpriv --reuid=$victim --regid=$victim --clear-groups "$@"; }
as_other() { setpriv --reuid=$other --regid=$other --clear-groups "$@"; }
# In the background, remembered for the end (not through a function, whose
# subshell would be what $! names).
other_meanwhile() {
    setpriv --reuid=$other --regid=$other --clear-groups "$@" &
    pids+=($!)
}

# The victim's home, private, with the file the other user is after.
home=$work/home
mkdir -p "$home/box"
printf 'export PATH=$HOME/bin:$PATH\n' >"$home/.bashrc"
chown -R $victim:$victim "$home"
chmod 0700 "$home"
before=$(sha256sum "$home/.bashrc")

# The shared folder with the other user's links.
shared=$work/shared
mkdir -p "$shared"
chmod 0777 "$shared"
as_other ln -s "$home/planted" "$shared/NA.bmp"
as_other ln -s "$home/.bashrc" "$shared/~ico._"
as_other ln -s "$home/.bashrc" "$shared/~ico2.bmp"
other_meanwhile sh -c "while :; do ln -s '$home/.bashrc' '$shared/Bmp.bmp' 2>/dev/null; done"

# The other user listens where a start used to look (the temporary folder)
# and where it now falls back to, and writes down whatever it hears.
heard=$work/heard
touch "$heard"
chmod 0666 "$heard"
link="emulator:$home/box"
hash=$(printf '%s' "$link" | sha1sum | cut -c1-12)
as_other mkdir -m 0777 "/tmp/porvane-$victim"
listener() {
    other_meanwhile /usr/bin/python3 -c '
import os, socket, sys
heard = sys.argv[1]
servers = []
for path in sys.argv[2:]:
    s = socket.socket(socket.AF_UNIX)
    s.bind(path); os.chmod(path, 0o777); s.listen(8); servers.append(s)
import select
while True:
    ready, _, _ = select.select(servers, [], [])
    for s in ready:
        c, _ = s.accept()
        c.settimeout(2)
        try:
            data = c.recv(4096)
        except OSError:
            data = b""
        open(heard, "ab").write(data)
        c.send(b"ok\n")
        c.close()
' "$heard" "$@"
}
listener "/tmp/porvane-$victim-$hash" "/tmp/porvane-$victim/porvane-$hash"
sleep 1

# The victim's session has its private runtime folder, as a desktop login
# gives one.
runtime=$work/run-$victim
mkdir -m 0700 "$runtime"
chown $victim:$victim "$runtime"
if command -v Xvfb >/dev/null; then
    Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    sleep 1
    graphics=(DISPLAY="$display")
else
    graphics=(QT_QPA_PLATFORM=offscreen)
fi
start_victim() { # start_victim OUTPUT ENV... -- ARGS...
    local output=$1
    shift
    local vars=()
    while [[ $1 != -- ]]; do vars+=("$1"); shift; done
    shift
    (cd "$shared" && as_victim env -i HOME="$home" PATH=/usr/bin:/bin "${graphics[@]}" \
        "${vars[@]}" "$build/porvane" --link "$link" "$@" >"$output" 2>&1)
}
window_of() { # the number of windows of a process
    if [[ ${graphics[0]} == DISPLAY=* ]]; then
        DISPLAY=$display xdotool search --pid "$1" 2>/dev/null | wc -l
    else
        kill -0 "$1" 2>/dev/null && echo 1 || echo 0
    fi
}

start_victim "$work/first.log" XDG_RUNTIME_DIR="$runtime" -- &
pids+=($!)
sleep 4
first=$(pgrep -u $victim -x porvane | head -1)
# A second start hands its card (the demo card, copied) to the first, which
# opens it: its icons pass through Bmp.bmp, the logo's through NA.bmp.
cp "$home/box/slot1.dcm" "$home/card.dcm"
chown $victim:$victim "$home/card.dcm"
start_victim "$work/second.log" XDG_RUNTIME_DIR="$runtime" -- --open-card "$home/card.dcm"
second=$?
sleep 4
sockets=$(ss -xlpn 2>/dev/null | grep "porvane-$hash" || true)
check "the first start runs with a window" test "$(window_of "$first")" -gt 0
check "the second start handed its card to the first and ended" test "$second" -eq 0
check "the socket in the runtime folder is the first program's" \
    sh -c "echo '$sockets' | grep '$runtime/porvane-$hash' | grep -q 'pid=$first,'"
if [[ ${graphics[0]} == DISPLAY=* ]]; then
    DISPLAY=$display import -window root /tmp/porvane-two-users.png 2>/dev/null &&
        echo "      screenshot: /tmp/porvane-two-users.png"
fi
kill "$first" 2>/dev/null

# Without a runtime folder the fallback is the other user's: the start says
# so and runs on its own, handing nothing to that user.
start_victim "$work/third.log" -- --open-card "$home/card.dcm" &
pids+=($!)
sleep 4
third=$(pgrep -u $victim -x porvane | head -1)
check "a start whose fallback folder is taken runs with a window" \
    test -n "$third" -a "$(window_of "${third:-0}")" -gt 0
check "and says why on stderr" grep -q 'belongs to another user' "$work/third.log"
kill "$third" 2>/dev/null
sleep 1
check "the victim's .bashrc is as it was" test "$before" = "$(sha256sum "$home/.bashrc")"
check "no file where the other user's dangling link pointed" test ! -e "$home/planted"
check "the other user heard no hand-off" test ! -s "$heard"

# The link box: a file is not replaced, the socket is 0600 under umask 000,
# the other user cannot connect, a silent client is cut off.
box=$work/linkbox
mkdir -p "$box"
echo notes >"$box/notes.txt"
(cd "$box" && timeout 5 "$build/porvane-linkbox" --link emulator:. --socket notes.txt \
    2>"$box/err.txt")
check "linkbox refuses a path that is not a socket" grep -q 'not a socket' "$box/err.txt"
check "and leaves the file" test "$(cat "$box/notes.txt")" = notes
(umask 000 && cd "$box" && exec "$build/porvane-linkbox" --link emulator:. --socket box.sock \
    --client-timeout 1000 2>"$box/served.txt") &
pids+=($!)
sleep 1
check "linkbox socket is 0600" test "$(stat -c %a "$box/box.sock")" = 600
other_connects() {
    as_other /usr/bin/python3 -c \
        "import socket; socket.socket(socket.AF_UNIX).connect('$box/box.sock')" 2>/dev/null
}
check "the other user cannot connect to it" eval '! other_connects'
/usr/bin/python3 -c "import socket,time; s=socket.socket(socket.AF_UNIX); s.connect('$box/box.sock'); time.sleep(2)"
check "a silent client is cut off, with a line on stderr" grep -q 'silent' "$box/served.txt"

# The command line: a saver named with terminal controls.
cli=$work/cli
mkdir -p "$cli"
(cd "$cli" && "$build/porvane-cli" new a.dcm >/dev/null &&
    "$build/porvane-cli" format a.dcm 200 >/dev/null &&
    /usr/bin/python3 -c '
import sys
entry = bytearray(32); entry[0] = 0x33; entry[2] = 0; entry[24] = 1
entry[4:16] = b"\x1b]0;PWN\x07\x1b[2J"
sys.stdout.buffer.write(bytes(entry) + bytes(512))' >pwn.dci &&
    "$build/porvane-cli" import a.dcm pwn.dci >/dev/null 2>&1
    "$build/porvane-cli" import a.dcm pwn.dci 2>err.txt)
cleaned() {
    grep -q 'exists on the card' "$cli/err.txt" &&
        ! LC_ALL=C grep -q $'[\x01-\x09\x0b-\x1f\x7f]' "$cli/err.txt"
}
check "a refused import names the saver without control bytes" cleaned
sed 's/^/      /' "$cli/err.txt"

echo
if ((failures == 0)); then echo "check-two-users: all passed"; else echo "check-two-users: $failures failed"; fi
exit $((failures != 0))
