#!/usr/bin/env bash
# The alarm through a night on a machine that really sleeps: the built Debian package
# installed by apt in a fresh Debian 12 image (mmdebstrap, from the archive the host's
# apt uses), booted in QEMU with S3 suspend (software emulation), and timed from the
# host: QMP's SUSPEND and WAKEUP events, and the guest's lines through its kernel log.
#   Default: an ordinary user's clock under Xvfb, its sound to a PulseAudio null sink,
#   armed through its settings file; `systemctl suspend` 60 s before the alarm. The
#   machine must wake by itself within 3 s of the alarm's second and the ring be
#   recorded within 3 s of it, the clock still running. Then the control, every file
#   capability of the package removed: asleep still 180 s past the alarm, and ringing
#   within 3 s of the host's wake. About 9 minutes.
#   --gnome: a GNOME 43 session (gdm3 autologin on Wayland, idle suspend after 90 s on
#   AC, gnome.is_vm=0), the clock under Xwayland. Without a clock logind is asked to
#   suspend at about 90 s of idle (mutter's idle time); with an alarm armed 10 minutes
#   ahead gnome-session holds a suspend inhibition and no suspend comes in 4 minutes
#   of idle; with the alarm off the machine suspends within 110 s. About 12 minutes.
# Not part of CI: it needs root, the archive and about 5 GB in /var/tmp, and installs
# QEMU and mmdebstrap where missing. Build the package first (--target package).
#   sudo bash scripts/night-check.sh [--gnome] [--keep] [--image FOLDER] [DEB]
#   --keep leaves the work folder (image, kernel, watch.log); --image FOLDER boots the
#   image such a folder holds instead of making one.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts=$PWD/scripts

mode=wake
keep=
image=
while [ $# -gt 0 ]; do
    case $1 in
        --gnome) mode=gnome; shift ;;
        --keep) keep=1; shift ;;
        --image) image=$(readlink -f "${2:?--image and a folder}"); shift 2 ;;
        *) break ;;
    esac
done
deb=$(readlink -f "${1:-$(ls build/horatik_*.deb 2>/dev/null | head -1)}")
[ -f "$deb" ] || { echo "night-check: no package; build it with --target package" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "night-check: run it as root (mmdebstrap, QEMU)" >&2; exit 2; }
archive=$(bash scripts/archive.sh "$(. /etc/os-release && echo "${VERSION_CODENAME:-}")")
[ -n "$archive" ] || archive=$(bash scripts/archive.sh sid)
[ -n "$archive" ] || { echo "night-check: no archive in the host's apt sources" >&2; exit 2; }
user=alice
work=$(mktemp -d /var/tmp/hx-night.XXXXXX)
log=$work/watch.log
qemu=
watcher=
failures=0
t0=$SECONDS

step() { printf '=== %s (at %d s)\n' "$*" $((SECONDS - t0)); }
pass() { echo "PASS  $*"; }
failed() { echo "FAIL  $*"; failures=$((failures + 1)); }
die() { echo "night-check: $*" >&2; [ ! -s "$log" ] || tail -25 "$log" >&2; exit 1; }
calc() { awk "BEGIN { v = sprintf(\"%.2f\", $1); print (v == \"-0.00\") ? \"0.00\" : v }"; }
cleanup() {
    [ -z "$qemu" ] || { kill "$qemu" 2>/dev/null; wait "$qemu" 2>/dev/null; } || true
    [ -z "$watcher" ] || { kill "$watcher" 2>/dev/null; wait "$watcher" 2>/dev/null; } || true
    # mmdebstrap's own mounts, when it was stopped halfway
    awk -v w="$work/" 'index($2 "/", w) == 1 { print $2 }' /proc/self/mounts | sort -r |
        while read -r m; do umount -l "$m"; done
    if [ -z "$keep" ]; then rm -rf "$work"; else echo "the work folder stays in $work"; fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The design the package follows: the wake timer's capability on a helper of its own,
# or on the clock itself (before the helper came).
if dpkg-deb -c "$deb" | grep '\./usr/libexec/horatik/horatik-wake$' >/dev/null; then
    design=helper
else
    design=clock
fi

tools() {
    local need=()
    command -v qemu-system-x86_64 >/dev/null || need+=(qemu-system-x86)
    command -v mmdebstrap >/dev/null || need+=(mmdebstrap)
    [ -x /usr/bin/python3 ] || need+=(python3)
    [ ${#need[@]} -eq 0 ] && return
    step "installing ${need[*]}"
    TMPDIR=/var/tmp apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
}

# ---- the image: Debian 12 with the package, a user, and the check's unit
makeimage() {
    local root=$work/root tmp packages
    packages=(linux-image-amd64 systemd-sysv udev kmod dbus procps libcap2-bin python3)
    if [ "$mode" = wake ]; then
        packages+=(xvfb x11-utils x11-apps pulseaudio pulseaudio-utils)
    else
        packages+=(gdm3 gnome-shell gnome-session gnome-settings-daemon gjs xwayland dbus-user-session
                   xdg-desktop-portal xdg-desktop-portal-gtk libglib2.0-bin pulseaudio)
    fi
    step "Debian 12 image with $(basename "$deb") from $archive"
    tmp=$(mktemp -d "$work/tmp.XXXXXX")
    chmod 1777 "$tmp"
    cp "$deb" "$work/horatik.deb"
    TMPDIR=$tmp mmdebstrap --quiet --variant=apt --include="$(IFS=,; echo "${packages[*]}")" \
        --aptopt='Acquire::Check-Valid-Until "false"' \
        --customize-hook="copy-in $work/horatik.deb /tmp" \
        --customize-hook='chroot "$1" env DEBIAN_FRONTEND=noninteractive DEBCONF_NOWARNINGS=yes apt-get install -y -qq /tmp/horatik.deb >/dev/null' \
        bookworm "$root" "$archive"
    rm -rf "$tmp" "$work/horatik.deb"

    echo night >"$root/etc/hostname"
    echo '/dev/vda / ext4 rw 0 1' >"$root/etc/fstab"
    chroot "$root" useradd -m -s /bin/bash "$user"
    cat >"$root/etc/systemd/system/hx-night.service" <<'EOF'
[Unit]
Description=The night check (its script comes on the second disk)
After=multi-user.target

[Service]
ExecStart=/bin/sh -c 'mkdir -p /run/hx && mount -o ro /dev/vdb /run/hx && exec bash /run/hx/night-guest.sh'
StandardOutput=journal+console
StandardError=journal+console

[Install]
WantedBy=multi-user.target
EOF
    chroot "$root" systemctl enable -q hx-night.service
    # nothing else on the serial port, nothing that wakes up to work meanwhile
    chroot "$root" systemctl mask -q serial-getty@ttyS0.service apt-daily.timer \
        apt-daily-upgrade.timer man-db.timer e2scrub_all.timer fstrim.timer
    if [ "$mode" = gnome ]; then
        sed -i "s/^\[daemon\]$/[daemon]\nAutomaticLoginEnable=true\nAutomaticLogin=$user/" \
            "$root/etc/gdm3/daemon.conf"
        cat >"$root/usr/share/glib-2.0/schemas/90_horatik-night.gschema.override" <<'EOF'
[org.gnome.settings-daemon.plugins.power]
sleep-inactive-ac-type='suspend'
sleep-inactive-ac-timeout=90
EOF
        chroot "$root" glib-compile-schemas /usr/share/glib-2.0/schemas
    fi

    cp "$root"/boot/vmlinuz-* "$work/vmlinuz"
    cp "$root"/boot/initrd.img-* "$work/initrd.img"
    # mke2fs copies the extended attributes too, file capabilities among them
    mke2fs -q -t ext4 -d "$root" "$work/root.img" "$([ "$mode" = wake ] && echo 4G || echo 8G)" >/dev/null
    rm -rf "$root"
    printf 'mode=%s\ndesign=%s\ndeb=%s\n' "$mode" "$design" "$(basename "$deb")" >"$work/image.info"
    echo "file capabilities in the image:"
    getcaps "$work/root.img"
}
getcaps() {  # the package's files in an image that carry security.capability
    local f
    for f in $(dpkg-deb -c "$deb" | awk '$1 !~ /^[dl]/ { print substr($6, 2) }'); do
        debugfs -R "ea_list $f" "$1" 2>/dev/null | grep security.capability >/dev/null && echo "  $f"
    done
    return 0
}

# ---- the machine
boot() {
    local img=${image:-$work}
    mkdir "$work/run"
    cp "$scripts/night-guest.sh" "$work/run/"
    printf 'mode=%s\nuser=%s\n' "$mode" "$user" >"$work/run/night.conf"
    mke2fs -q -t ext4 -d "$work/run" "$work/run.img" 16M >/dev/null
    mkfifo "$work/qmp.in"
    : >"$log"
    /usr/bin/python3 "$scripts/night-watch.py" "$work/serial.sock" "$work/qmp.sock" "$work/qmp.in" "$log" &
    watcher=$!
    local extra=() cmdline="root=/dev/vda rw console=ttyS0,115200 no_console_suspend printk.devkmsg=on"
    local memory=1024
    if [ "$mode" = gnome ]; then
        # without it gsd-power ignores the idle suspend inside a virtual machine
        cmdline+=" gnome.is_vm=0"
        extra=(-vga std -device virtio-tablet-pci)
        memory=2048
    fi
    step "booting ($mode, design: capability on the $design)"
    qemu-system-x86_64 -machine pc -accel tcg -smp 1 -m $memory -nodefaults -display none \
        -global PIIX4_PM.disable_s3=0 -rtc base=utc,clock=host \
        -kernel "$img/vmlinuz" -initrd "$img/initrd.img" -append "$cmdline" \
        -drive file="$img/root.img",format=raw,if=virtio,snapshot=on \
        -drive file="$work/run.img",format=raw,if=virtio,readonly=on \
        -chardev socket,id=serial,path="$work/serial.sock",server=on,wait=on -serial chardev:serial \
        -qmp unix:"$work/qmp.sock",server=on,wait=off "${extra[@]}" >"$work/qemu.log" 2>&1 &
    qemu=$!
}
qmp() { echo "$1" >"$work/qmp.in"; }
now() { date +%s.%N; }

# The next line of the log after the last one found that matches REGEX, by the host
# time DEADLINE: its number in $pos, its host time in $at, its text in $line.
pos=0
waitfor() {  # waitfor DEADLINE REGEX
    local hit
    while :; do
        hit=$(awk -v from="$pos" -v re="$2" 'NR > from && $0 ~ re { print NR " " $0; exit }' "$log")
        if [ -n "$hit" ]; then
            pos=${hit%% *}
            hit=${hit#* }
            at=${hit%% *}
            line=${hit#* }
            return 0
        fi
        kill -0 "$qemu" 2>/dev/null || die "QEMU has ended: $(tail -3 "$work/qemu.log")"
        awk -v d="$1" -v n="$(now)" 'BEGIN { exit !(n < d) }' || return 1
        sleep 0.2
    done
}
within() { calc "$(now) + $1"; }
guestfail() {
    local l
    l=$(grep -m1 'hx: error' "$log" || true)
    [ -z "$l" ] || die "the guest: ${l#*hx: error }"
}
said() { grep -E "hx: $1" "$log" | sed -n "${2:-1}p" | sed 's/.*hx: //'; }
# the guest's clock minus the host's, from a burst of lines: the largest difference,
# the line that took least time to arrive
offset() {
    awk -v n="$1" '$2 == "serial" { i = index($0, "hx: sync " n " ")
        if (i) { split(substr($0, i), w, " "); d = w[4] - $1; if (!seen || d > m) m = d; seen = 1 } }
        END { if (seen) printf "%.3f", m }' "$log"
}

# ---- Mode 1: nights under Xvfb
night() {  # night N self|control
    local alarm off before after wake ring ringsaid left
    waitfor "$(within 300)" "hx: alarm $1 " || { guestfail; die "no alarm armed in night $1"; }
    alarm=${line##* }
    waitfor "$(within 120)" 'event SUSPEND' || { guestfail; die "night $1: the machine did not suspend"; }
    before=$(offset "before$1")
    local alarmhost suspended=$at
    alarmhost=$(calc "$alarm - $before")
    echo "night $1: guest clock minus host clock $before s before the sleep;" \
        "suspended $(calc "$alarmhost - $suspended") s before the alarm's second"
    echo "  $(said "caps clock" "$1")"
    echo "  $(said "caps helper" "$1")"
    local timer
    timer=$(said "timer" "$1")
    timer=${timer#timer }
    if [ "$timer" = none ]; then
        echo "  wake timer: none"
    else
        echo "  wake timer: held by ${timer% *}, due $(calc "${timer##* } - $alarm") s from the alarm's second"
    fi
    if [ "$2" = self ]; then
        if waitfor "$(calc "$alarmhost + 30")" 'event WAKEUP'; then
            wake=$(calc "$at - $alarmhost")
        else
            qmp '{"execute": "system_wakeup"}'
            waitfor "$(within 30)" 'event WAKEUP' || die "the machine does not wake"
        fi
    else
        if waitfor "$(calc "$alarmhost + 180")" 'event WAKEUP'; then
            wake=$(calc "$at - $alarmhost")
        else
            echo "  asleep still 180 s after the alarm's second: woken by the host"
            qmp '{"execute": "system_wakeup"}'
            waitfor "$(within 30)" 'event WAKEUP' || die "the machine does not wake"
        fi
    fi
    local woke=$at
    waitfor "$(within 120)" 'hx: alive' || { guestfail; die "night $1: the guest says nothing after the wake"; }
    local alive=${line#*hx: alive }
    after=$(offset "after$1")
    echo "  guest clock minus host clock $after s after the wake"
    ringsaid=$(awk -v from="$suspended" '$1 > from && / hx: sound / { print $NF; exit }' "$log")
    [ -z "$ringsaid" ] || ring=$(calc "$ringsaid - $after - $alarmhost")

    if [ "$2" = self ]; then
        capchecks
        if [ "$timer" = none ]; then
            failed "no wake timer was set"
        else
            left=$(calc "${timer##* } - $alarm")
            awk -v l="$left" 'BEGIN { exit !(l > -2 && l < 2) }' &&
                pass "the wake timer was due at the alarm's second ($left s)" ||
                failed "the wake timer was due $left s from the alarm's second"
        fi
        if [ -z "${wake:-}" ]; then
            failed "the machine did not wake by itself (30 s past the alarm's second)"
        elif awk -v w="$wake" 'BEGIN { exit !(w >= -3 && w <= 3) }'; then
            pass "woken by itself $wake s from the alarm's second (within 3 s)"
        else
            failed "woken by itself $wake s from the alarm's second (not within 3 s)"
        fi
        if [ -z "${ring:-}" ]; then
            failed "no ring recorded"
        elif awk -v r="$ring" 'BEGIN { exit !(r >= -3 && r <= 3) }'; then
            pass "the ring recorded $ring s from the alarm's second (within 3 s), $(calc "$ring - ${wake:-0}") s after the wake"
        else
            failed "the ring recorded $ring s from the alarm's second (not within 3 s)"
        fi
    else
        if [ -n "${wake:-}" ]; then
            failed "without any capability the machine woke by itself, $wake s from the alarm's second"
        else
            pass "without any capability the machine stayed asleep 180 s past the alarm's second"
        fi
        local sincewake
        [ -z "${ring:-}" ] || sincewake=$(calc "$ringsaid - $after - $woke")
        if [ -z "${ring:-}" ]; then
            failed "no ring recorded after the host's wake"
        elif awk -v r="$sincewake" 'BEGIN { exit !(r >= 0 && r <= 3) }'; then
            pass "the ring recorded $sincewake s after the host's wake (within 3 s)"
        else
            failed "the ring recorded $sincewake s after the host's wake (not within 3 s)"
        fi
    fi
    case $alive in
        yes*) pass "the clock still running: ${alive#yes: }" ;;
        *) failed "the clock not running: ${alive#no: }" ;;
    esac
}
bit35=0000000800000000
# the capability sets of the first clock the guest started, and of its wake helper
capchecks() {
    local clock helper
    clock=$(said "caps clock" 1)
    helper=$(said "caps helper" 1)
    if [ "$design" = clock ]; then
        echo "NOTE  design checked: CAP_WAKE_ALARM on the clock itself (no /usr/libexec/horatik/horatik-wake in the package);" \
            "the clock's process: ${clock#caps clock }"
        return
    fi
    echo "NOTE  design checked: CAP_WAKE_ALARM on the helper /usr/libexec/horatik/horatik-wake"
    [[ $clock == *"CapInh=0000000000000000 CapPrm=0000000000000000 CapEff=0000000000000000"* ]] &&
        pass "the clock's process holds no capability: ${clock#caps clock }" ||
        failed "the clock's process holds a capability: ${clock#caps clock }"
    [[ $helper == *"CapInh=0000000000000000 CapPrm=$bit35 CapEff=$bit35"* ]] &&
        pass "the helper's process holds bit 35 alone: ${helper#caps helper }" ||
        failed "the helper's process holds not bit 35 alone: ${helper#caps helper }"
}
wakechecks() {
    waitfor "$(within 600)" 'hx: phase wake' || { guestfail; die "the machine did not come up within 600 s"; }
    step "night 1: the package as installed, suspended 60 s before the alarm"
    night 1 self
    waitfor "$(within 120)" 'hx: phase control' || { guestfail; die "no control night"; }
    step "night 2, the control: every file capability of the package removed"
    grep -o 'hx: uncapped .*' "$log" | sed 's/^hx: uncapped /  removed: /' || true
    local left
    waitfor "$(within 60)" 'hx: package capabilities left:' || die "the guest does not say which capabilities are left"
    left=${line#*left:}
    [ "$left" = " (end)" ] && pass "no file of the package carries a capability" ||
        failed "files of the package still carry a capability:${left% (end)}"
    night 2 control
    waitfor "$(within 60)" 'hx: done' || { guestfail; die "the guest did not finish"; }
    grep -o 'hx: the clock said: .*' "$log" | awk '!seen[$0]++ { sub(/^hx: /, "  "); print }' || true
}

# ---- Mode 2: a GNOME session
# The session's last input: the pointer moved and Shift tapped, through the emulated
# tablet and keyboard, again until the guest says mutter saw it (under emulation an
# input now and then is lost); its host time in $inputat.
touchinput() {
    local from=$pos
    for _ in 1 2 3 4; do
        qmp touch
        inputat=$(now)
        if waitfor "$(within 12)" 'hx: input seen'; then
            pos=$from
            return 0
        fi
    done
    pos=$from
    echo "NOTE  mutter saw none of four inputs; the checks go by its idle time"
}
# The guest's word of the sleep that began at log line FROM: the session's idle time
# (mutter's) when logind was asked to suspend, in $idleasked, and the host's time of
# that ask in $askedat, the guest's clock read against the host's in burst BURST.
sleptword() {  # sleptword FROM BURST
    local keep=$pos ms t a
    idleasked='' askedat=''
    pos=$1
    waitfor "$(within 90)" 'hx: slept: ' || { pos=$keep; return 1; }
    pos=$keep
    ms=${line#*idle time }; ms=${ms%% *}
    t=${line#* ms at }; t=${t%%,*}
    a=${line##* }
    [[ $ms =~ ^[0-9]+$ ]] && [[ $a =~ ^[0-9.]+$ ]] || return 1
    idleasked=$(calc "$ms / 1000 + $a - $t")
    askedat=$(calc "$a - $(offset "$2")")
}
suspends() {  # suspends FROM TO: QEMU's SUSPEND events between two lines of the log
    awk -v a="$1" -v b="$2" 'NR > a && NR < b && $2 == "event" && $3 == "SUSPEND"' "$log" | wc -l
}
gnomechecks() {
    qmp 'wake-after 5'
    waitfor "$(within 1500)" 'hx: ready' || { guestfail; die "no GNOME session within 1500 s"; }
    echo "  ${line#*hx: }"

    step "the control: no clock, the last input now"
    waitfor "$(within 60)" 'hx: phase idle' || die "no idle phase"
    touchinput
    local input=$inputat slept
    waitfor "$(within 600)" 'event SUSPEND' || die "no idle suspend without a clock within 600 s"
    slept=$at
    echo "  $(said "input" 1)"
    if sleptword "$pos" idle; then
        awk -v i="$idleasked" 'BEGIN { exit !(i >= 85 && i <= 110) }' &&
            pass "without a clock, logind was asked to suspend at $idleasked s of idle; the machine slept $(calc "$slept - $askedat") s later" ||
            failed "without a clock, logind was asked to suspend at $idleasked s of idle, not about 90 s"
    else
        failed "without a clock the machine slept $(calc "$slept - $input") s after the host's input; the guest said nothing of its idle time"
    fi

    step "an alarm armed 10 minutes ahead, four minutes idle"
    waitfor "$(within 300)" 'hx: phase armed' || { guestfail; die "no armed phase"; }
    local armed=$pos
    waitfor "$(within 300)" 'hx: armed settled' || { guestfail; die "the clock does not settle"; }
    touchinput
    grep -o 'hx: caps .*\|hx: timer .*\|hx: inhibitor .*\|hx: logind: .*' "$log" | sed 's/^hx: /  /' || true
    capchecks
    local inhibited
    inhibited=$(said "IsInhibited" 1)
    [[ $inhibited == "IsInhibited 4: (true,)"* ]] &&
        pass "gnome-session holds a suspend inhibition: $inhibited" ||
        failed "gnome-session holds no suspend inhibition: $inhibited"
    waitfor "$(within 900)" 'hx: armed end' || { guestfail; die "no end of the armed phase"; }
    echo "  $(said "input" 2)"
    echo "  at the end: ${line#*hx: armed end: }; $(said "IsInhibited" 2)"
    local idlems=${line##*idle time } first
    idlems=${idlems%% *}
    if [ "$(suspends "$armed" "$pos")" -gt 0 ]; then
        first=$(awk -v a="$armed" 'NR > a && $2 == "event" && $3 == "SUSPEND" { print NR; exit }' "$log")
        sleptword "$first" idle || idleasked=unknown
        failed "the machine slept with the alarm armed: logind was asked at $idleasked s of idle"
    elif [[ $idlems =~ ^[0-9]+$ ]] && [ "$idlems" -ge 240000 ]; then
        pass "no suspend in $(calc "$idlems / 1000") s of idle with the alarm armed (mutter's idle time)"
    else
        failed "the session was not idle for 4 minutes: mutter's idle time ${idlems} ms at the end"
    fi
    grep -o 'hx: journal: .*\|hx: the clock said: .*' "$log" | sed 's/^hx: /  /' || true

    step "the alarm switched off (the settings file written, the clock started again)"
    waitfor "$(within 180)" 'hx: phase off' || { guestfail; die "no phase with the alarm off"; }
    local off=$at
    waitfor "$(within 300)" 'event SUSPEND' || die "no suspend within 300 s of the alarm switched off"
    slept=$at
    echo "  with the alarm off: $(said "IsInhibited" 3)"
    local why=
    ! sleptword "$pos" off || why=" (logind was asked at $idleasked s of idle, $(calc "$askedat - $off") s after the clock started again)"
    awk -v i="$(calc "$slept - $off")" 'BEGIN { exit !(i <= 110) }' &&
        pass "with the alarm off the machine slept $(calc "$slept - $off") s after the clock started again$why" ||
        failed "with the alarm off the machine slept $(calc "$slept - $off") s after the clock started again, not within 110 s$why"
    waitfor "$(within 120)" 'hx: done' || { guestfail; die "the guest did not finish"; }
}

tools
if [ -n "$image" ]; then
    [ -f "$image/root.img" ] && [ -f "$image/image.info" ] || die "no image made by this script in $image"
    [ "$(sed -n 's/^mode=//p' "$image/image.info")" = "$mode" ] || die "the image in $image is not one for $mode"
    design=$(sed -n 's/^design=//p' "$image/image.info")
    echo "the image in $image, with $(sed -n 's/^deb=//p' "$image/image.info"); file capabilities:"
    getcaps "$image/root.img"
else
    makeimage
fi
boot
case $mode in
    wake) wakechecks ;;
    gnome) gnomechecks ;;
esac
qmp '{"execute": "quit"}'
step "night-check ($mode, design: capability on the $design): $([ $failures -eq 0 ] && echo PASSED || echo "$failures FAILED")"
[ $failures -eq 0 ]
