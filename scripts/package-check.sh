#!/usr/bin/env bash
# Installs the built Debian package with apt in a fresh Debian root (Debian 12 unless
# --suite says otherwise) made with mmdebstrap from the archive the host's apt uses,
# and checks what it does there: CAP_WAKE_ALARM on the wake timer's helper and no
# capability on the clock (getcap); an ordinary user's clock, started by the
# launcher with an armed alarm in its settings, with no capability in any set, its
# helper with that one, holding a CLOCK_REALTIME_ALARM timer due at the alarm's
# second, and its login entry; and that purging the package leaves none of its files. Not part of CI: it needs root and
# about three minutes. Build the package first (cmake --build build --target package).
#   sudo bash scripts/package-check.sh [--keep] [--suite bookworm|trixie|sid] [DEB]
set -euo pipefail
cd "$(dirname "$0")/.."

keep=
suite=bookworm
while [ $# -gt 0 ]; do
    case $1 in
        --keep) keep=1; shift ;;
        --suite) suite=${2:?--suite and a release}; shift 2 ;;
        *) break ;;
    esac
done
deb=$(readlink -f "${1:-$(ls build/horatik_*.deb 2>/dev/null | head -1)}")
[ -f "$deb" ] || { echo "package-check: no package; build it with --target package" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "package-check: run it as root (chroot and mounts)" >&2; exit 2; }
archive=$(bash scripts/archive.sh "$(. /etc/os-release && echo "${VERSION_CODENAME:-}")")
[ -n "$archive" ] || archive=$(bash scripts/archive.sh sid)
[ -n "$archive" ] || { echo "package-check: no archive in the host's apt sources" >&2; exit 2; }
root=$(mktemp -d /var/tmp/hx-package.XXXXXX)

. scripts/chroot.sh
cleanup() {
    unmountall
    if [ -z "$keep" ]; then rm -rf "$root"; else echo "the root stays in $root"; fi
}
trap cleanup EXIT
fail() { echo "package-check: FAILED: $*" >&2; exit 1; }

echo "=== Debian $suite root in $root from $archive"
tmp=$(mktemp -d /var/tmp/hx-mmdebstrap.XXXXXX)
chmod 1777 "$tmp"
TMPDIR=$tmp mmdebstrap --quiet --variant=apt --include=ca-certificates \
    --aptopt='Acquire::Check-Valid-Until "false"' "$suite" "$root" "$archive"
rm -rf "$tmp"
mountsystem "$root"
inside() { chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"; }

echo "=== apt install $(basename "$deb")"
cp "$deb" "$root/tmp/horatik.deb"
# mmdebstrap leaves no package lists behind
inside apt-get update -qq >/dev/null
inside env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq /tmp/horatik.deb >/dev/null
cap=$(inside getcap /usr/libexec/horatik/horatik-wake)
echo "$cap"
case $cap in *cap_wake_alarm=ep) ;; *) fail "the helper has not cap_wake_alarm alone: '$cap'" ;; esac
cap=$(inside getcap /usr/bin/horatik-desktop)
[ -z "$cap" ] || fail "the clock has a capability: '$cap'"

echo "=== an ordinary user's clock with an armed alarm"
inside useradd -m -s /bin/sh alice
home=$root/home/alice
mkdir -p "$home/.local/share/horatik"
# 07:00 armed, two minutes ahead by an offset of its own: 17 bytes, little-endian
now=$(date +%s)
at=$((now + 120))
offset=$(( ((7 * 3600 - at) % 86400 + 86400) % 86400 ))
le32() { printf "\\$(printf %03o $(($1 & 255)))\\$(printf %03o $(($1 >> 8 & 255)))\\$(printf %03o $(($1 >> 16 & 255)))\\$(printf %03o $(($1 >> 24 & 255)))"; }
{ le32 $offset; printf '\000'; le32 7; le32 0; le32 2; } >"$home/.local/share/horatik/Horatik.dat"
[ "$(stat -c %s "$home/.local/share/horatik/Horatik.dat")" = 17 ] || fail "settings not 17 bytes"
inside chown -R alice:alice /home/alice
inside setpriv --reuid=alice --regid=alice --init-groups env HOME=/home/alice \
    SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy /usr/bin/horatik >"$root/tmp/clock.log" 2>&1 &
sleep 4
pid=$(pgrep -f '^/usr/bin/horatik-desktop' | while read -r p; do
    [ "$(readlink -f /proc/"$p"/root)" = "$(readlink -f "$root")" ] && echo "$p"; done | head -1)
[ -n "$pid" ] || fail "no clock runs: $(cat "$root/tmp/clock.log")"
# the clock's sets all empty; its helper, its child, holds bit 35 alone
caps() { grep -E '^Cap(Inh|Prm|Eff|Amb):' "/proc/$1/status" | tr '\t\n' ' '; }
helper=$(pgrep -P "$pid" | head -1)
echo "clock:  $(caps "$pid")"
echo "helper: ${helper:+$(caps "$helper")}"
[ "$(caps "$pid")" = "CapInh: 0000000000000000 CapPrm: 0000000000000000 CapEff: 0000000000000000 CapAmb: 0000000000000000 " ] ||
    fail "the clock holds a capability"
case $(readlink "/proc/${helper:-0}/exe") in
    */usr/libexec/horatik/horatik-wake) ;;
    *) fail "no wake helper runs beside the clock" ;;
esac
[ "$(caps "$helper")" = "CapInh: 0000000000000000 CapPrm: 0000000800000000 CapEff: 0000000800000000 CapAmb: 0000000000000000 " ] ||
    fail "the helper holds other capabilities than cap_wake_alarm"
timer=
for f in /proc/"$helper"/fdinfo/*; do
    grep -q '^clockid: 8$' "$f" 2>/dev/null && timer=$(sed -n 's/^it_value: (\([0-9]*\),.*/\1/p' "$f")
done
kill "$pid"
wait || true
echo "wake timer due in ${timer:-(none)} s, the alarm in $((at - $(date +%s))) s"
[ -n "$timer" ] && [ $((timer - (at - $(date +%s)))) -ge -5 ] && [ $((timer - (at - $(date +%s)))) -le 5 ] ||
    fail "no CLOCK_REALTIME_ALARM timer at the alarm's second in the helper"
sleep 1
[ ! -e "/proc/$helper" ] || fail "the helper outlived the clock"
[ -f "$home/.config/autostart/horatik.desktop" ] || fail "no login entry for the armed alarm"
grep '^Exec=' "$home/.config/autostart/horatik.desktop"
[ -z "$(cat "$root/tmp/clock.log")" ] || fail "the clock said: $(cat "$root/tmp/clock.log")"

echo "=== apt purge horatik"
inside env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq horatik >/dev/null
left=$(dpkg-deb -c "$deb" | awk '{ print substr($6, 2) }' | grep -v '/$' | while read -r f; do
    [ -e "$root$f" ] || [ -L "$root$f" ] && echo "$f"; done || true)
[ -z "$left" ] || fail "left behind: $left"
echo "=== Debian $suite: the package gives cap_wake_alarm to the helper alone, its user's clock holds no capability and its helper a wake timer at the alarm's second, a login entry is made, and purging leaves none of its files"
