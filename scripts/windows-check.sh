#!/usr/bin/env bash
# The Windows step of the checks, run on Linux: cross-builds meshweaver.exe, twinscope.exe
# and make_matches.exe with MinGW-w64, makes sure the programs need no DLL beyond those of
# Windows itself, and runs the smoke tests of both programs under Wine in a private Xvfb.
# Meshweaver compiles PCL's templates from the installed headers, and LZ4 and the C
# library's atan2f from Debian's source packages, whose few files
# scripts/fetch-windows-sources.sh fetches through apt.
#
#   bash scripts/windows-check.sh
#   HALDENMOOR_WIN_BUILD_DIR   cross-build folder (default build-win)
#   HALDENMOOR_WIN_HOST_DIR    folder of the native test helpers (default build-win-host)
#   HALDENMOOR_BUILD_DIR       the Linux build whose make_points and mesh_reference give the
#                              sphere and the reference mesh (default build; the two targets
#                              are built there when missing)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/install-deps.sh --tests
win=${HALDENMOOR_WIN_BUILD_DIR:-build-win}
host=${HALDENMOOR_WIN_HOST_DIR:-build-win-host}
jobs=$(nproc)
started=$SECONDS

native=${HALDENMOOR_BUILD_DIR:-build}

echo "== Debian's sources for the Windows build"
sources=$(mkdir -p "$win" && cd "$win" && pwd)/debian-sources
bash scripts/fetch-windows-sources.sh "$sources"

echo "== cross-build for Windows ($win)"
cmake -S . -B "$win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DHALDENMOOR_MESHWEAVER=ON -DHALDENMOOR_TESTS=OFF \
  -DHALDENMOOR_BENCH=OFF -DHALDENMOOR_DEBIAN_SOURCES_DIR="$sources"
cmake --build "$win" -j"$jobs" --target meshweaver twinscope make_matches
echo "cross-build done ($((SECONDS - started)) s)"

meshweaver_exe=$win/meshbuilder/meshweaver.exe
twinscope_exe=$win/matchviewer/twinscope.exe
make_matches_exe=$win/tools/make_matches/make_matches.exe

# Fails unless PE file $1 has subsystem $2 and imports only DLLs that come with Windows.
# NOTE: a MinGW runtime DLL (libstdc++-6, libgcc_s_seh-1, libwinpthread-1) in this list
# would mean the static runtime was lost, and the program would not start elsewhere.
check_pe() {
  local file=$1 subsystem=$2 dumped dlls dll
  dumped=$(x86_64-w64-mingw32-objdump -p "$file")
  grep -q "^Magic[[:space:]]*020b" <<<"$dumped" || { echo "$file: not a PE32+ file" >&2; return 1; }
  grep -q "^Subsystem.*($subsystem)" <<<"$dumped" ||
    { echo "$file: subsystem is not $subsystem" >&2; return 1; }
  dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dumped" | tr 'A-Z' 'a-z' | sort -u)
  [ -n "$dlls" ] || { echo "$file: no imports found" >&2; return 1; }
  for dll in $dlls; do
    case "$dll" in
      kernel32.dll | user32.dll | gdi32.dll | opengl32.dll | glu32.dll | msvcrt.dll | \
        advapi32.dll | shell32.dll | ole32.dll | ucrtbase.dll | api-ms-win-*.dll) ;;
      *) echo "$file: needs $dll, which Windows does not have" >&2; return 1 ;;
    esac
  done
  echo "$file: $subsystem, imports $(echo $dlls)"
}
check_pe "$meshweaver_exe" "Windows GUI"
check_pe "$twinscope_exe" "Windows GUI"
check_pe "$make_matches_exe" "Windows CUI"

echo "== native helpers of the smoke test ($host)"
cmake -S tests/windows/host_tools -B "$host" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$host" -j"$jobs"
echo "== the Linux build's point and mesh tools ($native)"
[ -f "$native/CMakeCache.txt" ] || cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$native" -j"$jobs" --target make_points mesh_reference

echo "== meshweaver.exe under Wine"
tests/run_with_xvfb.sh timeout 600 bash tests/windows/meshweaver_wine_test.sh \
  "$meshweaver_exe" "$native/tools/make_points/make_points" "$native/tests/e2e/mesh_reference" \
  "$host/x11_probe"

echo "== twinscope.exe under Wine"
# NOTE: the whole smoke test has one deadline on top of the timeouts of its own waits.
tests/run_with_xvfb.sh timeout 600 bash tests/windows/twinscope_wine_test.sh \
  "$twinscope_exe" "$make_matches_exe" "$host/make_matches/make_matches" "$host/x11_probe" \
  "$host/x11_patch"
echo "windows check: ok ($((SECONDS - started)) s)"
