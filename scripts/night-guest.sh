#!/bin/bash
# The night check's part inside its virtual machine, run as root by a unit at boot
# (scripts/night-check.sh puts it there): an ordinary user's clock, started by the
# package's launcher and armed through its settings file, and the machine suspended
# before the alarm. What the host cannot see from outside is said in lines "hx: ..."
# written to /dev/kmsg, which reach the serial port at once (a line written to the
# port itself arrives only with the next one); times in them are the guest's clock.
#   night-guest.sh      (beside it night.conf: mode=wake|gnome, user=NAME)
set -u
cd "$(dirname "$0")" || exit 1
mode='' user=''
# shellcheck source=/dev/null
. ./night.conf  # mode, user
uid=$(id -u "$user")
home=/home/$user
run=/run/user/$uid
folder=$home/.local/share/horatik
userenv=(DISPLAY=:1)

# level 3: Debian's console shows only what is more urgent than a warning
say() { echo "<3>hx: $*" >/dev/kmsg; }
fail() { say "error $*"; exit 1; }
asuser() {
    setpriv --reuid="$uid" --regid="$uid" --init-groups env -i HOME="$home" USER="$user" \
        LOGNAME="$user" PATH=/usr/bin:/bin LANG=C.UTF-8 XDG_RUNTIME_DIR="$run" "${userenv[@]}" "$@"
}
# waits until a command succeeds: within SECONDS, polling every 0.2 s
waituntil() {
    local limit=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -lt $limit ] || return 1
        sleep 0.2
    done
}
sleepuntil() {  # sleepuntil EPOCH: on the wall clock, which goes on while the machine sleeps
    local left
    while left=$(awk -v t="$1" -v n="$EPOCHREALTIME" 'BEGIN { if (t > n) print t - n }') && [ -n "$left" ]; do
        sleep "$(awk -v l="$left" 'BEGIN { print (l > 5) ? 5 : l }')"
    done
}
# the guest's clock against the host's: the host takes the largest difference
syncburst() {
    local i
    for i in 1 2 3 4 5 6 7 8; do
        say "sync $1 $EPOCHREALTIME"
        sleep 0.1
    done
}

# ---- the settings file and the clock
le32() {
    printf "\\$(printf %03o $(($1 & 255)))\\$(printf %03o $(($1 >> 8 & 255)))"
    printf "\\$(printf %03o $(($1 >> 16 & 255)))\\$(printf %03o $(($1 >> 24 & 255)))"
}
# 17 bytes: the offset that shows 07:00:00 at the guest's second AT, no help panel,
# the alarm at 07:00, armed (2) or off (0)
settings() {  # settings AT STATE
    local offset=$(( ((7 * 3600 - $1) % 86400 + 86400) % 86400 ))
    mkdir -p "$folder"
    { le32 $offset; printf '\000'; le32 7; le32 0; le32 "$2"; } >"$folder/Horatik.dat"
    chown -R "$user:" "$home/.local"
}
clock=
startclock() {
    asuser /usr/bin/horatik >>/var/log/hx-clock.log 2>&1 &
    waituntil 60 pgrep -u "$uid" -x horatik-desktop >/dev/null || fail "no clock runs: $(tail -3 /var/log/hx-clock.log)"
    clock=$(pgrep -u "$uid" -x horatik-desktop)
    sleep 5  # its start: the window, the sound device opened and closed, the timer
}
stopclock() {
    kill "$clock" 2>/dev/null
    waituntil 20 eval '! kill -0 "$clock" 2>/dev/null' || kill -9 "$clock"
}
capsof() { awk '/^Cap(Inh|Prm|Eff|Amb):/ { printf " %s=%s", substr($1, 1, 6), $2 }' "/proc/$1/status"; }
caps() {
    say "caps clock$(capsof "$clock")"
    local helper
    helper=$(pgrep -u "$uid" -x horatik-wake | head -1)
    if [ -n "$helper" ]; then say "caps helper$(capsof "$helper")"; else say "caps helper none"; fi
}
# which of the user's processes hold a CLOCK_REALTIME_ALARM timer (clockid 8), due when
timer() {
    local f left held='' files=()
    for f in $(pgrep -u "$uid"); do
        files+=(/proc/"$f"/fdinfo/*)
    done
    # one grep for them all: under emulation a desktop's thousand descriptors take long
    for f in $(grep -l -x 'clockid: 8' "${files[@]}" 2>/dev/null); do
        left=$(sed -n 's/^it_value: (\([0-9]*\), *\([0-9]*\)).*/\1 \2/p' "$f")
        f=${f#/proc/}
        held+=" $(cat /proc/"${f%%/*}"/comm) $(awk -v n="$EPOCHREALTIME" -v l="$left" \
            'BEGIN { split(l, v, " "); printf "%.3f", n + v[1] + v[2] / 1e9 }')"
    done
    say "timer${held:- none}"
}
# every file capability the package set, removed
uncap() {
    local f c
    while read -r f c; do
        dpkg -S "$f" 2>/dev/null | grep -q '^horatik:' || continue
        setcap -r "$f" && say "uncapped $f $c"
    done < <(getcap -r /usr 2>/dev/null)
    say "package capabilities left:$(getcap -r /usr 2>/dev/null | while read -r f c; do
        dpkg -S "$f" 2>/dev/null | grep -q '^horatik:' && printf ' %s %s' "$f" "$c"; done) (end)"
}

# ---- the machine's sleep
suspended() { [ "$(cat /sys/power/suspend_stats/success)" != "$1" ]; }
suspend() {  # returns once the machine has resumed
    local n
    n=$(cat /sys/power/suspend_stats/success)
    say "suspend $EPOCHREALTIME"
    systemctl suspend
    waituntil 900 suspended "$n" || fail "the machine did not suspend and resume"
    say "resumed $EPOCHREALTIME"
}

# ---- Mode 1: a night under Xvfb, the ring heard from PulseAudio's null sink
session() {
    mkdir -p "$run"
    chown "$user:" "$run"
    chmod 700 "$run"
    asuser Xvfb :1 -screen 0 640x480x24 -nolisten tcp >/var/log/hx-xvfb.log 2>&1 &
    # under emulation the socket is there seconds before the server answers
    waituntil 120 asuser xwininfo -root >/dev/null 2>&1 || fail "Xvfb does not answer"
    cat >"$run/pulse.pa" <<'EOF'
load-module module-null-sink sink_name=hx rate=44100 channels=2 norewinds=1
load-module module-native-protocol-unix auth-anonymous=1
set-default-sink hx
EOF
    chown "$user:" "$run/pulse.pa"
    asuser pulseaudio --daemonize=no --exit-idle-time=-1 -n -F "$run/pulse.pa" --realtime=no \
        --high-priority=no >/var/log/hx-pulse.log 2>&1 &
    waituntil 60 asuser pactl info >/dev/null 2>&1 || fail "PulseAudio does not answer"
    # the first loud samples after 2 s of silence, on the guest's clock
    asuser parec --device=hx.monitor --raw --format=s16le --rate=44100 --channels=2 --latency-msec=20 |
        python3 -c '
import array, sys, time
kmsg = open("/dev/kmsg", "w", buffering=1)
last, rest = 0.0, b""
while True:
    data = sys.stdin.buffer.read1(65536)
    if not data:
        break
    now = time.time()
    data, rest = rest + data, b""
    if len(data) % 2:
        data, rest = data[:-1], data[-1:]
    if max(map(abs, array.array("h", data)), default=0) > 64:
        if now - last > 2:
            kmsg.write("<3>hx: sound %.3f\n" % now)
        last = now
' &
}
alive() {
    local a b
    a=$(asuser xwd -root -silent | md5sum)
    sleep 1.5
    b=$(asuser xwd -root -silent | md5sum)
    if kill -0 "$clock" 2>/dev/null && [ "$a" != "$b" ]; then
        say "alive yes: the clock runs (pid $clock) and its face turns"
    elif kill -0 "$clock" 2>/dev/null; then
        say "alive no: the clock runs (pid $clock) but its face stands"
    else
        say "alive no: the clock has ended: $(tail -3 /var/log/hx-clock.log)"
    fi
}
night() {  # night N: the clock armed 90 s ahead, the machine suspended 60 s before
    local alarm=$(( ${EPOCHREALTIME%.*} + 90 ))
    settings $alarm 2
    startclock
    say "alarm $1 $alarm"
    caps
    timer
    sleepuntil $((alarm - 60))
    syncburst before$1
    suspend
    syncburst after$1
    sleep 15
    alive
    clocksaid
}
wakemode() {
    session
    say "phase wake"
    night 1
    stopclock
    say "phase control"
    uncap
    night 2
    say "done"
}

# ---- Mode 2: a GNOME session on Wayland, the clock under Xwayland
gnomesession() {
    pgrep -u "$uid" -x gsd-power >/dev/null &&
        [ -S "$run/bus" ] &&
        asuser gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
            --method org.freedesktop.DBus.NameHasOwner org.gnome.SessionManager 2>/dev/null | grep -q true
}
gnome() {  # gnome METHOD ARGS...: a call to gnome-session, as the user
    asuser gdbus call --session --dest org.gnome.SessionManager --object-path /org/gnome/SessionManager \
        --method "org.gnome.SessionManager.$1" "${@:2}" 2>&1
}
inhibitors() {
    local i
    say "IsInhibited 4: $(gnome IsInhibited 4), IsInhibited 8: $(gnome IsInhibited 8)"
    for i in $(gnome GetInhibitors | grep -o "/org/gnome/SessionManager/Inhibitor[0-9]*"); do
        say "inhibitor $i: app $(asuser gdbus call --session --dest org.gnome.SessionManager --object-path "$i" \
            --method org.gnome.SessionManager.Inhibitor.GetAppId 2>&1), flags $(asuser gdbus call --session \
            --dest org.gnome.SessionManager --object-path "$i" --method org.gnome.SessionManager.Inhibitor.GetFlags 2>&1)"
    done
    systemd-inhibit --list --no-legend --no-pager 2>&1 | while read -r l; do say "logind: $l"; done
}
idletime() {  # mutter's idle time in ms
    asuser gdbus call --session --dest org.gnome.Mutter.IdleMonitor --object-path /org/gnome/Mutter/IdleMonitor/Core \
        --method org.gnome.Mutter.IdleMonitor.GetIdletime 2>/dev/null | grep -o '[0-9][0-9]*' | tail -1
}
# the host's input, as mutter sees it: its idle time falls below the last reading
inputseen() {  # inputseen LAST-READING
    local first=$1 last=$1 now limit=$((SECONDS + 60))
    while [ $SECONDS -lt $limit ]; do
        now=$(idletime)
        if [ -n "$now" ] && [ -n "$last" ] && [ "$now" -lt "$last" ]; then
            say "input seen: mutter's idle time $now ms at $EPOCHREALTIME"
            return
        fi
        [ -z "$now" ] || last=$now
        sleep 1
    done
    say "input not seen: mutter's idle time went on from ${first:-?} to ${last:-?} ms"
}
# In the background: mutter's idle time every 5 s, and after each sleep the last
# reading before it, with logind's word of when it was asked to suspend; from these
# the host learns how long the session had been idle when the desktop suspended it.
idlewatch() {
    local n t ms last=''
    n=$(cat /sys/power/suspend_stats/success)
    while :; do
        if suspended "$n"; then
            say "slept: mutter's idle time ${last:-unknown}, logind asked at $(journalctl -b -u systemd-logind \
                -o short-unix --no-pager 2>/dev/null | awk '/will suspend/ { t = $1 } END { print t }')"
            n=$(cat /sys/power/suspend_stats/success)
            last=''
        fi
        t=$EPOCHREALTIME
        ms=$(idletime)
        # a reading that a sleep may have cut through is dropped
        [ -z "$ms" ] || suspended "$n" || last="$ms ms at $t"
        sleep 5
    done
}
clocksaid() {
    tail -5 /var/log/hx-clock.log | while read -r l; do say "the clock said: $l"; done
}
gnomemode() {
    waituntil 1200 gnomesession || fail "no GNOME session with gsd-power and gnome-session"
    local auth env
    waituntil 120 eval 'auth=$(ls "$run"/.mutter-Xwaylandauth.* 2>/dev/null | head -1); [ -n "$auth" ]' ||
        fail "no Xwayland auth file in $run"
    env=$(tr '\0' '\n' <"/proc/$(pgrep -u "$uid" -x gsd-power)/environ")
    local display
    display=$(sed -n 's/^DISPLAY=//p' <<<"$env")
    userenv=(DISPLAY="${display:-:0}" XAUTHORITY="$auth" WAYLAND_DISPLAY=wayland-0
             DBUS_SESSION_BUS_ADDRESS="unix:path=$run/bus" XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME)
    say "ready (DISPLAY ${display:-:0}, XAUTHORITY $auth)"
    idlewatch &

    # no clock: the host's input, then the idle suspend
    local n idle
    n=$(cat /sys/power/suspend_stats/success)
    idle=$(idletime)
    say "phase idle"
    syncburst idle
    inputseen "$idle"
    waituntil 600 suspended "$n" || fail "no idle suspend without a clock"
    say "resumed $EPOCHREALTIME"

    # an alarm 10 minutes ahead; the host's input once the clock holds what it asked
    # for, then four minutes of idle by mutter's count, unless the machine sleeps first
    n=$(cat /sys/power/suspend_stats/success)
    settings $(( ${EPOCHREALTIME%.*} + 600 )) 2
    startclock
    say "phase armed"
    # mutter starts Xwayland for the clock's window, which takes a while under
    # emulation; then the clock asks the desktop
    waituntil 120 pgrep -u "$uid" -x Xwayland >/dev/null || fail "mutter started no Xwayland"
    waituntil 90 eval '[[ $(gnome IsInhibited 4) == *true* ]]' || :
    caps
    timer
    inhibitors
    idle=$(idletime)
    say "armed settled"
    inputseen "$idle"
    local limit=$((SECONDS + 480))
    until suspended "$n" || [ $SECONDS -ge $limit ]; do
        idle=$(idletime)
        [ -n "$idle" ] && [ "$idle" -ge 250000 ] && break
        sleep 5
    done
    inhibitors
    # what the portal and gnome-session said of it
    journalctl -b --no-pager -o cat _UID="$uid" 2>/dev/null |
        grep -i -E 'inhibit|backend call|application id|not allowed|access denied' |
        tail -8 | while read -r l; do say "journal: $l"; done
    clocksaid
    local state="the clock has ended"
    kill -0 "$clock" 2>/dev/null && state="the clock runs"
    say "armed end: $state, mutter's idle time $(idletime) ms"

    # the alarm off in the settings file, the clock started again
    stopclock
    settings $(( ${EPOCHREALTIME%.*} + 600 )) 0
    startclock
    n=$(cat /sys/power/suspend_stats/success)
    say "phase off"
    syncburst off
    inhibitors
    waituntil 600 suspended "$n" || fail "no idle suspend with the alarm off"
    say "resumed $EPOCHREALTIME"
    sleep 10  # for the word of the sleep
    say "done"
}

case $mode in
    wake) wakemode ;;
    gnome) gnomemode ;;
    *) fail "unknown mode $mode" ;;
esac
