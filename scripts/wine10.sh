#!/usr/bin/env bash
# A second Wine: Debian 13's own Wine 10, in a chroot inside the build tree, beside the machine's
# Debian 12 and its Wine 8, which stay untouched. Wine 10's WinINet keeps the proxy per
# connection as Windows does (the value WinHTTP reads); Wine 8's does not, so clients of WinHTTP
# can only be judged here.
#
#   scripts/wine10.sh setup                 makes the chroot once (cached; redone if cut short)
#   scripts/wine10.sh run [--fresh] -- CMD  runs CMD in the chroot under a booted Wine 10 prefix
#
# run bind-mounts the repository (and the build root) at the same absolute path, so paths of the
# Debian 12 cross build work unchanged inside, boots the prefix ${WINE10_PREFIX:-BUILD/win/
# wineprefix-wine10} on a virtual display of its own, as scripts/wine.sh does for Wine 8, and
# exits with CMD's exit code. --fresh removes the prefix first. CMD sees WINEPREFIX and DISPLAY.
set -euo pipefail
caller_dir=$PWD
cd "$(dirname "$0")/.."
repo=$PWD
self=$repo/scripts/wine10.sh
mkdir -p "${BUILD_ROOT:-build}"
build_root=$(cd "${BUILD_ROOT:-build}" && pwd)
root=$build_root/wine10-root
prefix=${WINE10_PREFIX:-$build_root/win/wineprefix-wine10}
# Written last by setup: its text says what the chroot holds, so a change of the lists below (or
# of the revision, for any other change of what setup does inside) installs the difference, and a
# setup cut short leaves no stamp and is done again.
stamp=$root/.orvanta-wine10-ready
revision=2
# procps: scripts/wine.sh finds the prefix's desktop process with pgrep.
packages=(wine64 wine xvfb xauth python3 python3-pytest locales procps)
# Wine takes a process's ANSI code page from the locale, and needs a locale glibc has to read
# non-ASCII Unix paths; the end-to-end tests use both.
locales=(en_US.UTF-8 ru_RU.UTF-8)
stamp_text="revision=$revision packages=${packages[*]} locales=${locales[*]}"

sudo_cmd=()
# The environment goes along (BUILD_ROOT, WINE10_PREFIX, a proxy for apt, CTest's variables).
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo --preserve-env)

say() { echo "wine10: $*" >&2; }

# Fails if anything is mounted below the chroot in the machine's view. This script mounts only
# in namespaces of its own (see enter), so anything there was mounted by hand.
no_mounts_below() {
  local left
  left=$(findmnt -rn -o TARGET | grep -F "$root/" || true)
  [ -z "$left" ] && return 0
  say "still mounted below $root (unmount these first): $left"
  return 1
}

setup() {
  local started=$SECONDS
  exec 8>"$root.lock"
  flock 8
  if [ "$(cat "$stamp" 2>/dev/null)" = "$stamp_text" ]; then
    say "chroot ready: $root"
    return 0
  fi
  no_mounts_below
  if ! command -v debootstrap >/dev/null; then
    say "installing debootstrap"
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq \
      --no-install-recommends debootstrap >/dev/null
  fi
  # debootstrap removes its own work folder ROOT/debootstrap only when it has finished; a root
  # without apt-get or with that folder left is a cut-short one and is made again from scratch.
  if [ ! -x "$root/usr/bin/apt-get" ] || [ -d "$root/debootstrap" ]; then
    local mirror
    mirror=$(awk '/^URIs:/ { print $2; exit }' /etc/apt/sources.list.d/debian.sources \
      2>/dev/null || true)
    mirror=${mirror:-http://deb.debian.org/debian}
    "${sudo_cmd[@]}" rm -rf --one-file-system "$root"
    say "debootstrap trixie from $mirror"
    if ! "${sudo_cmd[@]}" debootstrap --variant=minbase --include=ca-certificates trixie \
      "$root" "$mirror" >"$root.debootstrap.log" 2>&1; then
      tail -n 20 "$root.debootstrap.log" >&2
      say "debootstrap failed (log: $root.debootstrap.log)"
      return 1
    fi
    say "debootstrap done after $((SECONDS - started)) s"
  fi
  # apt inside needs the machine's name servers (and proxy settings, passed in the environment).
  "${sudo_cmd[@]}" cp /etc/resolv.conf "$root/etc/resolv.conf"
  # Nothing installed in the chroot may start a service on the machine.
  printf '#!/bin/sh\nexit 101\n' | "${sudo_cmd[@]}" tee "$root/usr/sbin/policy-rc.d" >/dev/null
  "${sudo_cmd[@]}" chmod 755 "$root/usr/sbin/policy-rc.d"
  "${sudo_cmd[@]}" unshare --mount --propagation private "$self" _enter "$repo" -- /bin/sh -ec '
    locale_gen=$1
    shift
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >/dev/null
    apt-get clean
    printf "%s\n" "$locale_gen" >/etc/locale.gen
    locale-gen >/dev/null' install "$(printf '%s UTF-8\n' "${locales[@]}")" "${packages[@]}" \
    </dev/null 8>&- >&2 \
    || { say "installing ${packages[*]} in the chroot failed"; return 1; }
  echo "$stamp_text" | "${sudo_cmd[@]}" tee "$stamp" >/dev/null
  say "chroot ready after $((SECONDS - started)) s: $root ($(du -sh --one-file-system "$root" | cut -f1))"
}

# enter DIR -- CMD: in a mount namespace of its own (started by setup and run through unshare),
# mounts what the chroot needs, runs CMD in it in DIR (the caller's folder where that is inside,
# else the repository), and unmounts again. The namespace keeps the mounts out of the
# machine's view meanwhile (an rm -rf of the build tree can never reach the repository through
# them) and takes them along even when this is killed before its trap runs.
enter() {
  local cwd=$repo
  case "$1/" in "$repo"/* | "$build_root"/*) cwd=$1 ;; esac
  shift 2
  mounted=()
  unmount_all() {
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
      umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" || true
    done
  }
  trap unmount_all EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  mount_at() { # mount_at TARGET MOUNT-ARGS...
    mkdir -p "$1"
    mount "${@:2}" "$1"
    mounted+=("$1")
  }
  mount_at "$root/proc" -t proc proc
  # /dev without what is mounted below it: the chroot gets its own pts and shm.
  mount_at "$root/dev" --bind /dev
  mount_at "$root/dev/pts" --bind /dev/pts
  mount_at "$root/dev/shm" -t tmpfs -o mode=1777 tmpfs
  mount_at "$root$repo" --bind "$repo"
  case "$build_root/" in
    "$repo"/*) ;;
    *) mount_at "$root$build_root" --bind "$build_root" ;;
  esac
  # The machine's environment, less what names things of the machine's own Wine or display.
  # Not exec: the trap above has to unmount after CMD (bash runs it once the child has ended,
  # also after Ctrl+C).
  chroot "$root" /usr/bin/env -u DISPLAY -u XAUTHORITY -u WINEPREFIX -u WINESERVER \
    -u WINELOADER -u WINEDLLPATH -u LD_LIBRARY_PATH -u TMPDIR \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    /bin/sh -c 'cd "$1" && shift && exec "$@"' chdir "$cwd" "$@"
}

run() {
  local fresh=0
  while [ $# -gt 0 ]; do
    case "$1" in
      --fresh) fresh=1 ;;
      --) shift; break ;;
      *) break ;;
    esac
    shift
  done
  [ $# -gt 0 ] || { say "run: no command given"; return 64; }
  if [ "$(cat "$stamp" 2>/dev/null)" != "$stamp_text" ]; then
    # 77: what CTest is told to count as skipped, on a machine that never made the chroot.
    say "no complete chroot at $root: run scripts/wine10.sh setup first"
    return 77
  fi
  # 127.0.0.1:10809 is machine-wide: every end-to-end run on the machine takes this lock. The
  # chroot's own lock keeps a setup from changing it under a run.
  exec 9>/tmp/orvanta-e2e.lock
  flock 9
  exec 8>"$root.lock"
  flock 8
  no_mounts_below
  # The locks stay with this shell only: a Wine server that outlived its run must not hold them.
  "${sudo_cmd[@]}" unshare --mount --propagation private "$self" _enter "$caller_dir" -- \
    /bin/bash "$self" _inside "$fresh" "$prefix" "$@" 8>&- 9>&-
}

# Inside the chroot: the prefix booted by the rules of scripts/wine.sh (which runs unchanged here:
# the chroot's Wine keeps the paths of the machine's), CMD, then the prefix's server stopped.
inside() {
  local fresh=$1 prefix=$2
  shift 2
  if [ "$fresh" = 1 ] && [ -d "$prefix" ]; then
    # Only a Wine prefix is removed, never a folder named by mistake.
    [ -f "$prefix/system.reg" ] || [ -z "$(ls -A "$prefix")" ] ||
      { say "--fresh: $prefix is not a Wine prefix; left alone"; return 64; }
    rm -rf "$prefix"
  fi
  # shellcheck source=scripts/wine.sh
  source "$repo/scripts/wine.sh"
  trap wine_stop EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  wine_start "$prefix"
  cd "$caller_dir"
  local code=0
  "$@" || code=$?
  return "$code"
}

case "${1:-}" in
  setup) setup ;;
  run) shift; run "$@" ;;
  _enter) shift; enter "$@" ;;
  _inside) shift; inside "$@" ;;
  *) echo "usage: scripts/wine10.sh setup | run [--fresh] -- CMD..." >&2; exit 64 ;;
esac
