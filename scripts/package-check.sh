#!/usr/bin/env bash
# The Debian package on a clean Debian root: makes the package (cpack -G DEB) of the build
# folder, a minimal root of the same Debian release with debootstrap, installs the package
# there with apt (its dependencies only, no recommends) and runs what it installed: the
# programs and tools are on the PATH with all their libraries, every tool tells the version,
# make_points and make_matches write their files, mesh_points meshes a point file (and keeps
# it), and Meshweaver and Twinscope, started by the Exec lines of their installed desktop
# entries, show their windows on a private Xvfb of this machine and do their work.
#
# Needs root (debootstrap, chroot, mounts) and Debian's package mirror, which it takes from
# apt's configuration on this machine. The minimal root and the downloaded packages stay in
# the check's folder between runs (each run installs into a fresh copy of the root), so only
# the first run downloads.
#   HALDENMOOR_PACKAGE_CHECK=0          skip the check
#   HALDENMOOR_PACKAGE_CHECK_BUDGET=S   fail when it takes more than S seconds (default 1500)
#   HALDENMOOR_PACKAGE_CHECK_DIR=DIR    the check's folder (default build-package-check)
#   HALDENMOOR_BUILD_DIR=DIR            the build folder to package (default build)
set -euo pipefail
cd "$(dirname "$0")/.."

fail() {
  echo "package-check: FAIL: $*" >&2
  exit 1
}

# The part under Xvfb (tests/run_with_xvfb.sh): the two programs of the installed package,
# in the clean root, started as their menu entries start them.
if [ "${1:-}" = "--gui" ]; then
  root=$2 probe=$3
  # NOTE: the helpers of the end-to-end tests read exit codes themselves.
  set +e
  . tests/e2e/lib.sh
  pid=
  trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null' EXIT
  # Prints the command line of the desktop entry of $1 for the file $2.
  menu_command() {
    local exec_line
    exec_line=$(sed -n 's/^Exec=//p' "$root/usr/share/applications/$1.desktop")
    echo "${exec_line//%f/$2}"
  }
  # NOTE: the X client in the root reaches the server through its abstract socket, which
  # the root shares with this machine; no socket file needs to be inside it.
  chroot "$root" env DISPLAY="$DISPLAY" sh -c "cd /tmp/demo && exec $(menu_command meshweaver /tmp/demo/Dotloom.dat)" &
  pid=$!
  dismiss_gl_notice 60
  dismiss_box Meshweaver 120
  dismiss_box Meshweaver 300
  window=$(wait_for_window "Haldenmoor - Meshweaver" 30) || fail "no Meshweaver window"
  # The menu entry's StartupWMClass is what lets a dock tie the window to the entry.
  class=$(sed -n 's/^StartupWMClass=//p' "$root/usr/share/applications/meshweaver.desktop")
  xdotool search --class "^$class\$" | grep -x "$window" >/dev/null ||
    fail "the Meshweaver window's class is not the menu entry's $class"
  head -c 16 "$root/tmp/demo/Dotloom.wrl" | grep -q "^#VRML V1.0 ascii" ||
    fail "the installed Meshweaver wrote no VRML file"
  [ ! -e "$root/tmp/demo/Dotloom.dat" ] || fail "the installed Meshweaver kept its input"
  "$probe" close "Haldenmoor - Meshweaver"
  wait_for_exit "$pid" 30
  [ "$exit_code" -eq 0 ] || fail "the installed Meshweaver exited with $exit_code"
  pid=
  echo "Meshweaver: mesh saved and shown, closed"

  chroot "$root" env DISPLAY="$DISPLAY" sh -c "cd /tmp/demo && exec $(menu_command twinscope /tmp/demo/MatchInfo.dat)" &
  pid=$!
  dismiss_gl_notice 60
  window=$(wait_for_window "Haldenmoor - Twinscope" 30) || fail "no Twinscope window"
  class=$(sed -n 's/^StartupWMClass=//p' "$root/usr/share/applications/twinscope.desktop")
  xdotool search --class "^$class\$" | grep -x "$window" >/dev/null ||
    fail "the Twinscope window's class is not the menu entry's $class"
  settle "Haldenmoor - Twinscope"
  "$probe" close "Haldenmoor - Twinscope"
  wait_for_exit "$pid" 30
  [ "$exit_code" -eq 0 ] || fail "the installed Twinscope exited with $exit_code"
  pid=
  echo "Twinscope: window shown, closed"
  exit 0
fi

if [ "${HALDENMOOR_PACKAGE_CHECK:-1}" = "0" ]; then
  echo "package-check: skipped (HALDENMOOR_PACKAGE_CHECK=0)"
  exit 0
fi
[ "$(id -u)" -eq 0 ] || fail "needs root (debootstrap, chroot); HALDENMOOR_PACKAGE_CHECK=0 skips it"
command -v debootstrap >/dev/null || fail "debootstrap is missing; scripts/install-deps.sh installs it"
budget=${HALDENMOOR_PACKAGE_CHECK_BUDGET:-1500}
deadline=$((SECONDS + budget))
build=${HALDENMOOR_BUILD_DIR:-build}
dir=$(mkdir -p "${HALDENMOOR_PACKAGE_CHECK_DIR:-build-package-check}" && cd "${HALDENMOOR_PACKAGE_CHECK_DIR:-build-package-check}" && pwd)
exec 9>"$dir/lock"
flock -n 9 || fail "another package check is running in $dir"

# Runs a command in what is left of the budget.
in_budget() {
  local left=$((deadline - SECONDS)) rc=0
  [ "$left" -gt 0 ] || fail "out of its budget of $budget s before: $*"
  timeout "$left" "$@" || rc=$?
  [ "$rc" -ne 124 ] || fail "ran out of its budget of $budget s during: $*"
  return "$rc"
}

root=$dir/root
mounts=()
# Unmounts what was mounted in the root (newest first) and removes the root; a root with
# something still mounted in it is left alone, never removed across into the mount.
remove_root() {
  local i
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    umount "${mounts[i]}" 2>/dev/null || umount -l "${mounts[i]}" || true
  done
  mounts=()
  if [ -d "$root" ]; then
    if findmnt -rn -o TARGET | grep "^$root/" >/dev/null; then
      echo "package-check: $root still has mounts; left in place" >&2
      return 1
    fi
    rm -rf --one-file-system "$root"
  fi
}
trap remove_root EXIT
remove_root

echo "== package"
in_budget cmake --build "$build" -j"$(nproc)" >/dev/null
rm -rf "$dir/package"
in_budget cpack --config "$build/CPackConfig.cmake" -G DEB -B "$dir/package" >/dev/null
debs=("$dir"/package/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single package"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
echo "$(basename "$deb"): Depends: $(dpkg-deb -f "$deb" Depends)"

# The mirror and suites apt uses here, for the release this machine runs.
. /etc/os-release
release=$VERSION_CODENAME
sources=$(apt-cache policy | awk -v r="$release" '
  $3 == r "/main" || $3 == r "-updates/main" || $3 == r "-security/main" {
    split($3, suite, "/"); print "deb " $2 " " suite[1] " main" }' | sort -u)
mirror=$(awk -v r="$release" '$3 == r { print $2; exit }' <<<"$sources")
[ -n "$mirror" ] || fail "apt here has no source of $release main"

base=$dir/base-$release.tar
if [ ! -f "$base" ]; then
  echo "== debootstrap $release (once; kept as $base)"
  rm -rf --one-file-system "$dir/base-root"
  in_budget debootstrap --variant=minbase "$release" "$dir/base-root" "$mirror" >"$dir/debootstrap.log" 2>&1 ||
    { tail -20 "$dir/debootstrap.log" >&2; fail "debootstrap failed"; }
  tar -C "$dir/base-root" -cf "$base.part" .
  mv "$base.part" "$base"
  rm -rf --one-file-system "$dir/base-root"
fi

echo "== apt install into a fresh root"
mkdir -p "$root" "$dir/archives/partial"
tar -C "$root" -xf "$base"
echo "$sources" >"$root/etc/apt/sources.list"
# NOTE: nothing installed in the root may start a service of this machine.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
install -m 644 "$deb" "$root/tmp/haldenmoor.deb"
mount -t proc proc "$root/proc" || fail "cannot mount /proc in the root"
mounts+=("$root/proc")
# The downloaded packages are kept for the next run.
mount --bind "$dir/archives" "$root/var/cache/apt/archives" || fail "cannot mount the archives"
mounts+=("$root/var/cache/apt/archives")
in_chroot() {
  in_budget chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 HOME=/root \
    DEBIAN_FRONTEND=noninteractive "$@"
}
in_chroot apt-get update -q >"$dir/apt.log" 2>&1 || { tail -20 "$dir/apt.log" >&2; fail "apt-get update"; }
start=$SECONDS
in_chroot apt-get install -y -q --no-install-recommends /tmp/haldenmoor.deb >>"$dir/apt.log" 2>&1 ||
  { tail -30 "$dir/apt.log" >&2; fail "apt-get install of the package"; }
echo "installed with $(grep -c '^Setting up' "$dir/apt.log") packages in $((SECONDS - start)) s"

echo "== installed programs"
in_chroot sh -eu -c '
  version=$1
  for program in $(dpkg -L haldenmoor | grep "^/usr/bin/"); do
    name=${program##*/}
    [ "$(command -v "$name")" = "$program" ] || { echo "$name is not on the PATH"; exit 1; }
    if ldd "$program" | grep "not found"; then echo "$name misses libraries"; exit 1; fi
    case $name in meshweaver | twinscope) continue ;; esac
    out=$("$name" --version)
    [ "$out" = "$name (Haldenmoor) $version" ] || { echo "$name --version: $out"; exit 1; }
    echo "$out"
  done
  for program in meshweaver twinscope make_points make_matches mesh_points; do
    command -v "$program" >/dev/null || { echo "$program is not installed"; exit 1; }
  done
  mkdir -p /tmp/demo
  make_points sphere --count 20000 -o /tmp/demo/Dotloom.dat
  make_matches demo /tmp/demo/MatchInfo.dat
  make_points torus --count 20000 -o /tmp/demo/torus.dat
  mesh_points /tmp/demo/torus.dat
  head -c 16 /tmp/demo/torus.wrl | grep -q "^#VRML V1.0 ascii" || { echo "mesh_points wrote no mesh"; exit 1; }
  [ -f /tmp/demo/torus.dat ] || { echo "mesh_points removed its input without --consume"; exit 1; }
  echo "mesh_points: torus.wrl written, torus.dat kept"
' check "$version" || fail "the installed programs"

echo "== installed Meshweaver and Twinscope under Xvfb"
probe=$build/tests/e2e/x11_probe
[ -x "$probe" ] || fail "$probe is not built (configure with HALDENMOOR_TESTS=ON)"
in_budget tests/run_with_xvfb.sh bash "$0" --gui "$root" "$probe" || fail "the installed programs under Xvfb"
echo "package-check: PASS ($((SECONDS)) s)"
