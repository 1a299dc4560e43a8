#!/usr/bin/env bash
# Runs the build and package stages of scripts/test.sh on Debian 13 (trixie), in a tree this script
# makes with debootstrap from the Debian mirror this machine's apt uses. The tree is kept outside the
# source folder (ZX_TRIXIE_ROOT, default /var/tmp/zentrolux-trixie) and reused by later runs, also from
# other clones; runs on one tree take turns. Needs root.
#
# The tree is entered in private mount, PID and (for the tests) network namespaces: /proc, /sys, /dev,
# /run and /tmp are mounted there and nowhere else, everything started inside ends with the run, and
# the X servers of the tests cannot meet those of the machine's own tests. The tree is bound onto
# itself and made the root with pivot_root, not chroot, so that the Wayland tests' own namespaces work
# inside it.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
source scripts/lib-trees.sh

if [ "$(id -u)" -ne 0 ]; then
    echo "test-trixie.sh needs root (debootstrap, mounts, namespaces)" >&2
    exit 1
fi

root=${ZX_TRIXIE_ROOT:-/var/tmp/zentrolux-trixie}
case "$root" in
    /*/*) ;;
    *) echo "ZX_TRIXIE_ROOT must be an absolute path below a folder, not '$root'" >&2; exit 1 ;;
esac
case "$root/" in
    "$source_dir"/*) echo "ZX_TRIXIE_ROOT must lie outside the source folder" >&2; exit 1 ;;
esac
mkdir -p "$(dirname "$root")"

timings=()
timed() {
    timings+=("$1: $((SECONDS - step_start)) s")
    step_start=$SECONDS
}

# One run per tree at a time: another clone's CI on this machine waits here.
exec 9>"$root.lock"
if ! flock -n 9; then
    echo "== waiting for another run on $root"
    flock 9
fi
step_start=$SECONDS

# The mirrors this machine's apt uses for its own release, here for trixie.
. /etc/os-release
mirror=$(apt-get indextargets --format '$(REPO_URI)' "Codename: $VERSION_CODENAME" "Origin: Debian" | head -n 1)
mirror=${mirror:-http://deb.debian.org/debian/}
security=$(apt-get indextargets --format '$(REPO_URI)' "Codename: $VERSION_CODENAME-security" | head -n 1)
security=${security:-http://deb.debian.org/debian-security/}

# The process that holds the namespaces of the current step; ending it ends everything inside.
inside=""
cleanup() {
    local status=$?
    if [ -n "$inside" ] && kill -0 "$inside" 2>/dev/null; then
        kill -KILL "$inside"
        wait "$inside" 2>/dev/null || true
    fi
    echo "== times on Debian 13"
    [ ${#timings[@]} -eq 0 ] || printf '   %s\n' "${timings[@]}"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Runs in the new namespaces, as root: mounts, then the tree becomes the root and runs the command.
# The mounts belong to this mount namespace only and vanish with it.
enter='
set -e
root=$1; net=$2; shift 2
mount --bind "$root" "$root"
mount -t proc proc "$root/proc"
mount --rbind /sys "$root/sys"
mount --rbind /dev "$root/dev"
mount -t tmpfs -o mode=0755 tmpfs "$root/run"
mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
[ "$net" = private ] && ip link set lo up
cd "$root"
mkdir -p .oldroot
pivot_root . .oldroot
cd /
umount -l /.oldroot
exec "$@"
'

# in_tree shared|private COMMAND...: COMMAND as root in the tree, with the host's network or none.
in_tree() {
    local net=$1
    shift
    local namespaces=(--mount --propagation private --pid --fork --kill-child)
    [ "$net" = private ] && namespaces+=(--net)
    local env=(PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8
               TERM="${TERM:-dumb}" DEBIAN_FRONTEND=noninteractive)
    local name
    for name in ZX_KDE ZX_PACKAGE_TEST ZX_FUZZ_SECONDS; do
        [ -z "${!name:-}" ] || env+=("$name=${!name}")
    done
    # In the background, so that the traps above run at once on a signal.
    unshare "${namespaces[@]}" -- /bin/bash -c "$enter" enter "$root" "$net" /usr/bin/env -i "${env[@]}" "$@" &
    inside=$!
    local status=0
    wait "$inside" || status=$?
    inside=""
    return "$status"
}

# Whether anything is mounted at or below a folder in this mount namespace.
mounted_below() {
    findmnt -rn -o TARGET | grep -q -e "^$1\$" -e "^$1/"
}

# The tree: made once. debootstrap works in a folder of its own, which becomes the tree only when it
# is complete, so an interrupted run starts it again.
if [ -e "$root/.zx-debootstrap-done" ]; then
    echo "== Debian 13 tree: reusing $root"
    timed "debootstrap (reused)"
else
    command -v debootstrap >/dev/null || {
        echo "== installing debootstrap"
        apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=900 debootstrap
    }
    for folder in "$root" "$root.partial"; do
        if mounted_below "$folder"; then
            echo "something is mounted under $folder; unmount it first" >&2
            exit 1
        fi
    done
    rm -rf "$root" "$root.partial"
    echo "== debootstrap trixie from $mirror into $root"
    debootstrap --variant=minbase --include=ca-certificates trixie "$root.partial" "$mirror"
    touch "$root.partial/.zx-debootstrap-done"
    mv "$root.partial" "$root"
    timed "debootstrap"
fi

# Written on every run, as this machine's mirrors may have changed.
{
    printf 'Types: deb\nURIs: %s\nSuites: trixie trixie-updates\nComponents: main\n' "$mirror"
    printf 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg\n\n'
    printf 'Types: deb\nURIs: %s\nSuites: trixie-security\nComponents: main\n' "$security"
    printf 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg\n'
} >"$root/etc/apt/sources.list.d/debian.sources"
rm -f "$root/etc/apt/sources.list"
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
# Installed services do not start in the tree: the tests start what they need themselves.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
# D-Bus needs a machine id; a tree made by debootstrap has none.
grep -qE '^[0-9a-f]{32}$' "$root/etc/machine-id" 2>/dev/null ||
    tr -d '-' </proc/sys/kernel/random/uuid >"$root/etc/machine-id"

# The sources as they are here, committed or not, with their times, in a folder of this source folder's
# own: its build folders stay for the next run, which rebuilds what changed here since, as the build
# folders beside the sources would. Folders of source folders that are gone (old clones) go too.
mkdir -p "$root/src"
for folder in "$root"/src/*/; do
    [ -f "$folder/.zx-source" ] && [ ! -d "$(cat "$folder/.zx-source")" ] && rm -rf "$folder"
done
inner=$(zx_copy_sources "$root" "$source_dir")
timed "copy of the sources"

# Kept up to date as a Debian 13 machine would be; the downloaded packages are not kept.
echo "== Debian 13: packages"
in_tree shared /bin/bash -c 'apt-get update -q && apt-get full-upgrade -y -q -o DPkg::Lock::Timeout=900 &&
                             cd "$0" && bash scripts/setup-debian.sh && apt-get clean' "$inner"
timed "packages"

echo "== Debian 13: build and tests"
in_tree private /bin/bash -c 'cd "$0" && bash scripts/test.sh build package' "$inner"
timed "build and tests (times above)"
echo "== Debian 13: all tests passed"
