#!/usr/bin/env bash
# cmake --install and cpack -G DEB of a built tree, checked as a user and Debian see them:
# the programs and tools in bin/, a manual page for each that man renders without a warning,
# a valid desktop entry with its icon for each program, the README under share/doc and
# nothing else; the installed tools run and tell the project's version; the package has that
# version, the same files owned by root, and Debian runtime libraries as its dependencies.
#
#   install_test.sh BUILD SOURCE VERSION TOOL...
set -u
build=$1 source=$2 version=$3
shift 3
tools=("$@")
programs=(meshweaver twinscope)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Runs a command, showing its output only when it fails.
quietly() {
  "$@" >"$work/log" 2>&1 || {
    cat "$work/log" >&2
    fail "$* exited with $?"
  }
}

echo "== cmake --install"
prefix=$work/usr
quietly cmake --install "$build" --prefix "$prefix"

expected=()
for program in "${programs[@]}" "${tools[@]}"; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program is not installed"
  expected+=("bin/$program" "share/man/man1/$program.1.gz")
done
for program in "${programs[@]}"; do
  expected+=("share/applications/$program.desktop" "share/icons/hicolor/scalable/apps/$program.svg")
done
expected+=(share/doc/haldenmoor/README.md)
printf '%s\n' "${expected[@]}" | sort >"$work/expected"
(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort) >"$work/installed"
diff -u "$work/expected" "$work/installed" || fail "installed files differ from the layout"

echo "== manual pages"
for path in "$prefix"/bin/*; do
  name=$(basename "$path")
  page=$prefix/share/man/man1/$name.1.gz
  MANWIDTH=80 man --warnings -l "$page" >"$work/page" 2>"$work/warnings" || fail "man -l $page"
  if [ -s "$work/warnings" ]; then
    cat "$work/warnings" >&2
    fail "man -l warns on $name.1"
  fi
  grep -q "^NAME" "$work/page" || fail "$name.1 has no NAME section"
  grep -q "^ *$name  *- " "$work/page" || fail "$name.1 does not name $name"
  grep -q "Haldenmoor $version" "$work/page" || fail "$name.1 does not give version $version"
done

echo "== desktop entries and icons"
for program in "${programs[@]}"; do
  entry=$prefix/share/applications/$program.desktop
  desktop-file-validate "$entry" || fail "$program.desktop is not valid"
  command=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
  [ "$command" = "$program" ] || fail "$program.desktop starts '$command'"
  icon=$(sed -n 's/^Icon=//p' "$entry")
  svg=$prefix/share/icons/hicolor/scalable/apps/$icon.svg
  [ -f "$svg" ] || fail "$program.desktop names icon '$icon', which is not installed"
  grep -q '<svg ' "$svg" || fail "$svg is no SVG image"
done
cmp "$source/README.md" "$prefix/share/doc/haldenmoor/README.md" || fail "README differs"

echo "== installed tools"
for tool in "${tools[@]}"; do
  out=$("$prefix/bin/$tool" --version) || fail "$tool --version exited with $?"
  [ "$out" = "$tool (Haldenmoor) $version" ] || fail "$tool --version says '$out'"
  "$prefix/bin/$tool" --help >"$work/help" || fail "$tool --help exited with $?"
  grep -q "$tool" "$work/help" || fail "$tool --help does not show its usage"
done
quietly "$prefix/bin/make_points" sphere --count 1000 -o "$work/sphere.dat"
[ "$(stat -c %s "$work/sphere.dat")" -eq $((4 + 24 * 1000)) ] || fail "sphere.dat size"
if [ -x "$prefix/bin/make_matches" ]; then
  quietly "$prefix/bin/make_matches" demo "$work/matches.dat"
  [ -s "$work/matches.dat" ] || fail "make_matches wrote nothing"
fi
if [ -x "$prefix/bin/mesh_points" ]; then
  quietly "$prefix/bin/mesh_points" "$work/sphere.dat"
  [ -s "$work/sphere.wrl" ] || fail "the installed mesh_points wrote no sphere.wrl"
fi

echo "== cpack -G DEB"
quietly cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/package"
debs=("$work"/package/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made ${#debs[@]} packages"
deb=${debs[0]}
[ "$(dpkg-deb -f "$deb" Package)" = haldenmoor ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
names=$(sed 's/([^)]*)//g; s/[,|]/ /g' <<<"$depends" | tr -s ' ' '\n' | sed '/^$/d')
# NOTE: the library packages' names carry their versions (libpcl-surface1.13).
for library in libc6 libstdc++6 libx11-6 libxft2 libfontconfig1 'libglx[0-9]*' \
  'libglu1-mesa' 'libpcl-surface[0-9.]*' 'libpcl-io[0-9.]*' libgl1-mesa-dri fonts-dejavu-core; do
  grep -qx "$library" <<<"$names" || fail "the package does not depend on $library"
done
# Every dependency is a Debian package of runtime files, none a development package.
grep -- '-dev$' <<<"$names" && fail "the package depends on development packages"
# shellcheck disable=SC2086
apt-cache show $names >/dev/null || fail "a dependency is no package apt knows"
dpkg-deb -c "$deb" >"$work/listing"
awk '$2 != "root/root" { bad = 1; print } END { exit bad }' "$work/listing" ||
  fail "files not owned by root in the package"
awk '$1 !~ /^d/ { sub(/^\.\/usr\//, "", $6); print $6 }' "$work/listing" | sort >"$work/packaged"
diff -u "$work/installed" "$work/packaged" || fail "the package's files differ from the install"
dpkg-deb -x "$deb" "$work/unpacked"
for program in "${programs[@]}" "${tools[@]}"; do
  readelf -S "$work/unpacked/usr/bin/$program" | grep -q '\.symtab' && fail "$program is not stripped"
done
for tool in "${tools[@]}"; do
  out=$("$work/unpacked/usr/bin/$tool" --version) || fail "packaged $tool --version"
  [ "$out" = "$tool (Haldenmoor) $version" ] || fail "packaged $tool --version says '$out'"
done
echo "PASS"
