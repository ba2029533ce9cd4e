#!/usr/bin/env bash
# Installs the Debian packages the project builds and runs with (and with --tests, those the
# test suite adds), but only the ones that are missing. Works as root on a fresh Debian 12
# machine without a display.
#
#   install-deps.sh           what the programs and tools need to build and run (the demo)
#   install-deps.sh --tests   that and what the test suite adds
set -euo pipefail

# Build and run: the programs, the tools, and the demo's virtual X server, whose boxes it
# answers with xdotool when there is no display.
packages=(
  # build
  cmake g++ make pkg-config libpcl-dev libgl-dev libglu1-mesa-dev libx11-dev libxft-dev
  libfontconfig-dev
  # run
  libgl1-mesa-dri fonts-dejavu-core xvfb xdotool
)
# The test suite only: unit tests and benchmarks, clipboard checks, fuzzers, the order of
# the system calls of a save and a capture (strace), an independent reader of the mesh files
# mesh_points writes (assimp), the Windows cross-build and its smoke test under Wine.
test_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev
  xauth xclip
  clang libclang-rt-14-dev
  strace
  assimp-utils
  # the Windows cross-build; Meshweaver's uses the headers of PCL, FLANN, Eigen and Boost,
  # and files of the LZ4 and glibc source packages (.tar.xz)
  g++-mingw-w64-x86-64 wine64 wine libflann-dev libeigen3-dev libboost-dev liblz4-dev xz-utils
  # tests only: the installed layout (desktop entries, manual pages), the Debian package
  # (dpkg-shlibdeps) and its installation on a clean Debian root
  desktop-file-utils man-db dpkg-dev debootstrap
)
case "${1:-}" in
  "") ;;
  --tests) packages+=("${test_packages[@]}") ;;
  *)
    echo "usage: $0 [--tests]" >&2
    exit 2
    ;;
esac
if [ "${HALDENMOOR_EXTRA_PACKAGES:-}" != "" ]; then
  read -r -a extra <<<"$HALDENMOOR_EXTRA_PACKAGES"
  packages+=("${extra[@]}")
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
# NOTE: a fresh machine has no package lists yet, so always update before installing.
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
