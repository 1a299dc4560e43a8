# Debian trees for the scripts that work in them (sourced, not run): made once with debootstrap under /var/tmp and
# reused, entered with chroot in a private mount namespace so that nothing stays mounted outside it.
# An arm64 tree runs under qemu through binfmt_misc (scripts/setup-arm64.sh registers it).

# The Debian mirror this machine's apt uses (its first one), for every release.
zx_mirror() {
    local release
    release=$(. /etc/os-release && echo "$VERSION_CODENAME")
    local mirror
    mirror=$(apt-get indextargets --format '$(REPO_URI)' "Codename: $release" "Origin: Debian" | head -n 1)
    echo "${mirror:-http://deb.debian.org/debian/}"
}

# zx_tree ARCH RELEASE ROOT: makes the tree when it is missing (debootstrap works in ROOT.partial, which
# becomes ROOT only when complete, so an interrupted run starts again), then points its apt at this
# machine's mirror and keeps services from starting in it. Takes ROOT.lock on descriptor 8 for the rest
# of the caller's run: runs on one tree take turns.
zx_tree() {
    local arch=$1 release=$2 root=$3
    mkdir -p "$(dirname "$root")"
    exec 8>"$root.lock"
    if ! flock -n 8; then
        echo "== waiting for another run on $root"
        flock 8
    fi
    local mirror
    mirror=$(zx_mirror)
    if [ ! -e "$root/.zx-debootstrap-done" ]; then
        if findmnt -rn -o TARGET | grep -q -e "^$root/" -e "^$root.partial/"; then
            echo "something is mounted under $root; unmount it first" >&2
            return 1
        fi
        rm -rf "$root" "$root.partial"
        echo "== debootstrap $release ($arch) from $mirror into $root"
        debootstrap --arch "$arch" --variant=minbase --include=ca-certificates "$release" "$root.partial" \
            "$mirror" >"$root.debootstrap.log" 2>&1 || {
            tail -n 20 "$root.debootstrap.log" >&2
            return 1
        }
        touch "$root.partial/.zx-debootstrap-done"
        mv "$root.partial" "$root"
    fi
    # Written every time, as this machine's mirror may have changed. Security updates are left out:
    # the trees are for building and trying the package, and stay as debootstrap made them.
    local sources
    sources=$(printf 'Types: deb\nURIs: %s\nSuites: %s %s-updates\nComponents: main\nSigned-By: %s' \
        "$mirror" "$release" "$release" /usr/share/keyrings/debian-archive-keyring.gpg)
    if [ "$(cat "$root/etc/apt/sources.list.d/debian.sources" 2>/dev/null)" != "$sources" ]; then
        printf '%s\n' "$sources" >"$root/etc/apt/sources.list.d/debian.sources"
        rm -f "$root/etc/apt/sources.list" "$root/var/lib/apt/.zx-updated"
    fi
    cp -L /etc/resolv.conf "$root/etc/resolv.conf"
    printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
    chmod 755 "$root/usr/sbin/policy-rc.d"
}

# zx_tree_update ROOT: apt-get update in the tree, unless done within the last day with its sources as
# they are (reading the package lists under qemu takes most of a minute).
zx_tree_update() {
    local root=$1
    if [ -n "$(find "$root/var/lib/apt/.zx-updated" -mmin -1440 2>/dev/null)" ]; then
        return 0
    fi
    zx_chroot "$root" apt-get update -q -o Acquire::Languages=none
    touch "$root/var/lib/apt/.zx-updated"
}

# The mounts a tree needs, for the script run by zx_in_namespace; /tmp/.X11-unix lets X clients in the
# tree reach the X servers of the machine (the end-to-end tests' Xvfb).
export ZX_MOUNTS='
for root in "${ZX_TREES[@]}"; do
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    mount --rbind /sys "$root/sys"
    mkdir -p "$root/tmp/.X11-unix"
    mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
done
'

# zx_in_namespace "ROOT..." COMMAND...: runs COMMAND on this machine in a private mount namespace in
# which each ROOT has /proc, /dev, /sys and the X sockets mounted; chroot ROOT there enters a tree.
zx_in_namespace() {
    local roots=$1
    shift
    mkdir -p /tmp/.X11-unix
    chmod 1777 /tmp/.X11-unix
    unshare --mount --propagation private -- /bin/bash -c '
        set -e
        read -r -a ZX_TREES <<<"$1"
        shift
        eval "$ZX_MOUNTS"
        exec "$@"' zx-in-namespace "$roots" "$@"
}

# zx_chroot ROOT COMMAND...: COMMAND as root in the tree, with a plain environment.
zx_chroot() {
    local root=$1
    shift
    zx_in_namespace "$root" chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
        LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"
}

# zx_tree_install ROOT PACKAGE...: installs what is missing of the packages in the tree.
zx_tree_install() {
    local root=$1
    shift
    zx_chroot "$root" /bin/bash -c '
        missing=()
        for p in "$@"; do
            dpkg-query -W -f="\${Status}" "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
        done
        [ ${#missing[@]} -eq 0 ] && exit 0
        echo "Installing in the tree: ${missing[*]}"
        apt-get update -q -o Acquire::Languages=none && apt-get install -y -q --no-install-recommends "${missing[@]}" && apt-get clean
    ' zx-install "$@"
}

# zx_copy_sources TREE SOURCE: the sources as they are in SOURCE, in a folder of the tree of that
# source folder's own, whose build folders stay for the next run (the files keep their times, so only
# what changed is built again). Prints the folder as the tree names it.
zx_copy_sources() {
    local root=$1 source=$2
    local inner
    inner=/src/$(basename "$source")-$(printf '%s' "$source" | sha256sum | cut -c1-8)
    mkdir -p "$root$inner"
    find "$root$inner" -mindepth 1 -maxdepth 1 ! -name 'build*' -exec rm -rf {} +
    tar -C "$source" --exclude=./.git --exclude='./build*' --exclude=./out --exclude=__pycache__ -cf - . |
        tar -C "$root$inner" -xf -
    printf '%s\n' "$source" >"$root$inner/.zx-source"
    printf '%s\n' "$inner"
}
