#!/usr/bin/env bash
# Checks both Quick-start commands on a fresh Debian 13 (or, with --suite sid,
# Debian unstable) without a second machine: makes a root file system of that
# release in a folder, clones this repository's HEAD into it, runs the test command
# there, then `timeout 20 bash scripts/run.sh`, and fails if a clock is left running
# after it. Everything is unmounted afterwards; the folder is removed unless --keep
# is given. Not part of CI: it needs root, network access to the Debian archive the
# host uses, about 5 GB and 30 to 45 minutes.
#   sudo bash scripts/debian13-check.sh [--keep] [--suite trixie|sid] [FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

keep=
suite=trixie
while [ $# -gt 0 ]; do
    case $1 in
        --keep) keep=1; shift ;;
        --suite) suite=${2:?--suite trixie or sid}; shift 2 ;;
        *) break ;;
    esac
done
[ "$(id -u)" -eq 0 ] || { echo "debian13-check: run it as root (chroot and mounts)" >&2; exit 2; }
root=${1:-$(mktemp -d /var/tmp/hx-$suite.XXXXXX)}

# the archive the host's apt takes its own release from
archive=$(bash scripts/archive.sh "$(. /etc/os-release && echo "${VERSION_CODENAME:-}")")
[ -n "$archive" ] || { echo "debian13-check: no archive in the host's apt sources" >&2; exit 2; }

command -v mmdebstrap >/dev/null || {
    TMPDIR=/var/tmp apt-get update -qq
    apt-get install -y -qq --no-install-recommends mmdebstrap >/dev/null
}

. scripts/chroot.sh
cleanup() {
    unmountall
    if [ -z "$keep" ]; then rm -rf "$root"; else echo "the root stays in $root"; fi
}
trap cleanup EXIT

t0=$(date +%s)
echo "=== Debian $suite root in $root from $archive"
tmp=$(mktemp -d /var/tmp/hx-mmdebstrap.XXXXXX)
chmod 1777 "$tmp"
# unstable's Release is valid for a week; an archive that is a dated copy is older
TMPDIR=$tmp mmdebstrap --quiet --variant=apt --include=ca-certificates,git,sudo \
    --aptopt='Acquire::Check-Valid-Until "false"' "$suite" "$root" "$archive"
rm -rf "$tmp"
t1=$(date +%s)

mountsystem "$root"

git clone --quiet "$repo" "$root/work/horatik"
inside() { chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin \
    LANG=C.UTF-8 TERM=dumb bash -c "cd /work/horatik && $1"; }

echo "=== bash scripts/test.sh"
inside "bash scripts/test.sh"
t2=$(date +%s)

echo "=== timeout 20 bash scripts/run.sh"
inside "timeout 20 bash scripts/run.sh; echo \"run.sh ended with \$?\"" || true
sleep 1
left=$(pgrep -a -f '^\./horatik-desktop' | while read -r pid rest; do
    [ "$(readlink -f /proc/"$pid"/root)" = "$(readlink -f "$root")" ] && echo "$pid $rest"
done || true)
if [ -n "$left" ]; then
    echo "debian13-check: a clock was left running:"
    echo "$left"
    kill -9 $(echo "$left" | awk '{ print $1 }') 2>/dev/null || true
    exit 1
fi
t3=$(date +%s)
echo "=== Debian $suite: test command passed, no clock left; root $((t1 - t0)) s, test command $((t2 - t1)) s, run.sh $((t3 - t2)) s"
