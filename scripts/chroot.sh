# Sourced by the scripts that run things in a Debian root of their own: the mounts
# they make there, and only those, are undone in reverse order by unmountall.
mounts=()
mnt() {  # mnt TARGET mount-arguments...
    local target=$1; shift
    mkdir -p "$target"
    mount "$@" "$target"
    mounts+=("$target")
}
# what programs in the root expect of the system: /proc, /sys (whose submounts do not
# propagate back), /dev, and a pty and shared-memory folder of the root's own
mountsystem() {  # mountsystem ROOT
    mnt "$1/proc" -t proc proc
    mnt "$1/sys" --rbind /sys
    mount --make-rslave "$1/sys"
    mnt "$1/dev" --bind /dev
    mnt "$1/dev/pts" -t devpts devpts
    mnt "$1/dev/shm" -t tmpfs tmpfs
}
unmountall() {
    local i
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        umount -l "${mounts[i]}" 2>/dev/null || true
    done
    mounts=()
}
