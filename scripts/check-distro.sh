#!/bin/sh
# Shows that a fresh machine of a Debian release passes: builds a minimal
# chroot of SUITE with debootstrap, copies the committed tree into it (git
# archive HEAD: what a fresh clone holds), runs the README's `make test` there
# as root, then the package checks, and removes the chroot again, also when it
# fails or is stopped. On demand, not in CI: it downloads a system and every
# package the build needs. Needs root and debootstrap (installed if missing).
#
#   scripts/check-distro.sh trixie        # Debian 13
#   scripts/check-distro.sh bookworm      # Debian 12
#   MIRROR=http://... JOBS=2 WORK_PARENT=/var/tmp scripts/check-distro.sh trixie
#
# Everything runs in a mount and process namespace of its own (unshare): the
# mounts the chroot needs (/proc, /dev, /sys) exist only there, and when the
# run ends or is stopped every process in it is killed and its mounts vanish,
# so removing the chroot can never reach into the machine's own /dev or /proc.
set -eu
self="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"

MIRROR=${MIRROR:-http://deb.debian.org/debian}
SECURITY_MIRROR=${SECURITY_MIRROR:-http://deb.debian.org/debian-security}
JOBS=${JOBS:-$(nproc)}
WORK_PARENT=${WORK_PARENT:-/var/tmp}

# Inside the namespaces: bootstrap, mount, copy the tree in and run the tests.
inside() {
    suite=$1
    work=$2
    root="$work/root"
    echo "== $suite: debootstrap (minimal, with make) from $MIRROR"
    if ! debootstrap --variant=minbase --include=make "$suite" "$root" "$MIRROR" \
        >"$work/debootstrap.log" 2>&1; then
        tail -n 30 "$work/debootstrap.log" >&2
        echo "== $suite: debootstrap failed (log above)" >&2
        return 1
    fi
    cat >"$root/etc/apt/sources.list" <<EOF
deb $MIRROR $suite main
deb $MIRROR $suite-updates main
deb $SECURITY_MIRROR $suite-security main
EOF
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    mount -t sysfs sysfs "$root/sys" 2>/dev/null || true
    mkdir "$root/root/vesmira"
    tar -x -C "$root/root/vesmira" -f "$work/tree.tar"

    # A login shell's environment, nothing of the caller's.
    # shellcheck disable=SC2016 # expanded inside the chroot
    chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        JOBS="$JOBS" SUITE="$suite" /bin/sh -c '
            cd /root/vesmira
            # Runs one stage, its output shown and kept, its exit status kept.
            stage() {
                name=$1
                shift
                echo "== $SUITE: $*"
                { "$@" 2>&1; echo $? >"/root/$name.status"; } | tee "/root/$name.log"
            }
            stage test make test JOBS="$JOBS"
            stage package ./scripts/check-package.sh
            . /etc/os-release
            echo
            echo "== $SUITE: $PRETTY_NAME ($(cat /etc/debian_version)),"\
                "Qt $(dpkg-query -W -f="\${Version}" qt6-base-dev), GCC $(gcc -dumpfullversion),"\
                "$(cmake --version | head -n 1)"
            echo "== $SUITE: make test exit $(cat /root/test.status): $(grep "^test cases: " /root/test.log)"
            echo "== $SUITE: check-package exit $(cat /root/package.status): $(grep "^package: " /root/package.log)"
            [ "$(cat /root/test.status)" = 0 ] && [ "$(cat /root/package.status)" = 0 ]
        '
}

if [ "${1:-}" = "--inside" ]; then
    shift
    inside "$@"
    exit
fi

suite=${1:-}
if [ -z "$suite" ] || [ $# -ne 1 ]; then
    echo "usage: $0 SUITE   (bookworm: Debian 12, trixie: Debian 13)" >&2
    exit 2
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "$0: needs root (debootstrap, chroot, mount)" >&2
    exit 2
fi
if ! command -v debootstrap >/dev/null 2>&1; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
fi
if [ ! -e "/usr/share/debootstrap/scripts/$suite" ]; then
    echo "$0: debootstrap does not know the suite '$suite'" >&2
    exit 2
fi

cd "$(dirname "$self")/.."
work=$(mktemp -d "$WORK_PARENT/vesmira-$suite.XXXXXX")
child=""

# Nothing of the host may be mounted below the work folder when it is
# removed; the namespace guarantees that, and this checks it all the same.
# shellcheck disable=SC2317 # these three run from the EXIT trap
mounted_below() {
    awk -v dir="$work/" 'index($5 "/", dir) == 1 { found = 1 } END { exit !found }' /proc/self/mountinfo
}
# shellcheck disable=SC2317
processes_inside() {
    for proc in /proc/[0-9]*; do
        case $(readlink "$proc/root" 2>/dev/null) in "$work"/*) return 0 ;; esac
    done
    return 1
}
# shellcheck disable=SC2317
cleanup() {
    status=$?
    trap - EXIT INT TERM HUP
    # unshare holds TERM and INT back while it waits; KILL ends it, and with
    # it (--kill-child) the namespace and everything running there.
    if [ -n "$child" ] && kill -0 "$child" 2>/dev/null; then
        kill -KILL "$child" 2>/dev/null || true
        wait "$child" 2>/dev/null || true
    fi
    tries=0
    while processes_inside && [ "$tries" -lt 50 ]; do
        sleep 0.2
        tries=$((tries + 1))
    done
    echo "== removing $work"
    if mounted_below || processes_inside; then
        echo "$0: $work is still in use; not removed" >&2
        exit 1
    fi
    rm -rf --one-file-system "$work"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

start=$(date +%s)
commit=$(git rev-parse --short HEAD)
git archive --format=tar -o "$work/tree.tar" HEAD
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "note: uncommitted changes are not copied; checking commit $commit"
fi
echo "== $suite: checking commit $commit in $work"

# --kill-child: if this script dies, so does everything started inside.
unshare --mount --propagation private --pid --fork --kill-child \
    env MIRROR="$MIRROR" SECURITY_MIRROR="$SECURITY_MIRROR" JOBS="$JOBS" \
    "$self" --inside "$suite" "$work" &
child=$!
status=0
wait "$child" || status=$?
child=""
minutes=$((($(date +%s) - start + 30) / 60))
if [ "$status" -eq 0 ]; then
    echo "== $suite: passed (commit $commit, $minutes min)"
else
    echo "== $suite: FAILED (commit $commit, $minutes min)"
fi
exit "$status"
