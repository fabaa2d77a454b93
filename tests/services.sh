#!/usr/bin/env bash
# The services that tests, benchmarks and the soak run the clock beside, each started
# here and nowhere else. "start" becomes the service (exec): the caller's child is the
# service itself, ended by its pid. "ready" waits until the service of that pid answers:
# exit 0, or 1 once it ended or ten seconds passed.
#   services.sh start xvfb WxH FD             a display; its number is written to FD
#   services.sh start pulse DIR [idle] [log]  PulseAudio in the runtime folder DIR (0700),
#                                             a null sink "hx" without rewinds as the
#                                             default, so that its monitor hears every
#                                             sample; idle: the sink rests a second after
#                                             its last stream; log: timed lines on stderr
#   services.sh ready pulse PID DIR
#   services.sh start bus PATH [system]       a dbus-daemon listening on PATH, which any
#                                             user may reach (its folder 0711 permitting),
#                                             eavesdropping allowed
#   services.sh ready bus PID PATH
#   services.sh start standins ADDRESS WHAT LOG    tests/e2e/powerservices.py on that bus
#   services.sh ready standins PID LOG
set -u
here=$(cd "$(dirname "$0")" && pwd)

waitfor() {  # waitfor PID COMMAND...: true once the command succeeds while PID runs
    local pid=$1 i state
    shift
    for i in $(seq 200); do
        "$@" && return 0
        state=$(cut -d' ' -f3 "/proc/$pid/stat" 2>/dev/null) || return 1
        [ "$state" != Z ] || return 1
        sleep 0.05
    done
    return 1
}
sinks() { env -u PULSE_SERVER XDG_RUNTIME_DIR="$1" pactl list sinks short 2>/dev/null | grep -q .; }
said() { grep -qx "$1" "$2" 2>/dev/null; }

case "${1:-} ${2:-}" in
"start xvfb")
    # -noreset: else Xvfb makes itself anew (fonts, keymap) whenever its last client
    # leaves, and the next client waits for that
    exec Xvfb -displayfd "${4:?fd}" -screen 0 "${3:?WxH}x24" -nolisten tcp -noreset ;;
"start pulse")
    dir=${3:?folder}
    mkdir -p "$dir" && chmod 700 "$dir"
    {
        echo "load-module module-null-sink sink_name=hx rate=44100 channels=2 norewinds=1"
        echo "load-module module-native-protocol-unix auth-anonymous=1"
        [[ " ${*:4} " == *" idle "* ]] && echo "load-module module-suspend-on-idle timeout=1"
        echo "set-default-sink hx"
    } >"$dir/server.pa"
    log=()
    [[ " ${*:4} " == *" log "* ]] && log=(--log-level=debug --log-target=stderr --log-time=1)
    rm -f "$dir/pulse/native"  # left by a server that was killed
    XDG_RUNTIME_DIR=$dir exec pulseaudio --daemonize=no --exit-idle-time=-1 --system=false -n \
        -F "$dir/server.pa" --realtime=no --high-priority=no --use-pid-file=no "${log[@]}" ;;
"ready pulse")
    # the sinks, which are there after the socket appears
    waitfor "${3:?pid}" sinks "${4:?folder}" ;;
"start bus")
    at=${3:?path}
    type=session
    [ "${4:-}" = system ] && type=system
    cat >"$at.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>$type</type><listen>unix:path=$at</listen>
<auth>EXTERNAL</auth><policy context="default"><allow user="*"/>
<allow send_destination="*" eavesdrop="true"/>
<allow eavesdrop="true"/><allow own="*"/></policy></busconfig>
EOF
    exec dbus-daemon --config-file="$at.conf" --nofork --nopidfile ;;
"ready bus")
    waitfor "${3:?pid}" test -S "${4:?path}" ;;
"start standins")
    DBUS_SESSION_BUS_ADDRESS=${3:?address} exec /usr/bin/python3 "$here/e2e/powerservices.py" \
        "${4:?what}" "${5:?log}" ;;
"ready standins")
    waitfor "${3:?pid}" said "ready $3" "${4:?log}" ;;
*)
    sed -n '2,/^set -u/p' "$0" | sed '$d' >&2
    exit 2 ;;
esac
