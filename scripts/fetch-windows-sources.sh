#!/usr/bin/env bash
# Fetches, through apt, the few source files of Debian packages that the Windows build of
# Meshweaver compiles itself, each from the source package of the version installed here:
#   lz4    lib/lz4.c, lib/lz4hc.c (and their headers): FLANN's index serialization calls
#          them, and MinGW has no build of the library;
#   glibc  the single-precision atan2 (e_atan2f.c, s_atanf.c): the triangulation compares
#          the angles it gives, and MinGW's own atan2f rounds differently in about one call
#          of six, which changes meshes; with the C library's code the Windows build makes
#          the same mesh as the Linux build.
#
#   fetch-windows-sources.sh FOLDER
#
# The files land in FOLDER/lz4 and FOLDER/glibc under their paths in the source tree. They
# are taken from the upstream tarball; the script stops if one of Debian's patches of that
# version touches them. Without a deb-src entry for the archive that installed a package,
# one is written to /etc/apt/sources.list.d/ beside that archive's own entry (same address,
# suite, component and key, as apt reports them). Nothing is fetched again when FOLDER
# already holds the files of the installed versions.
set -euo pipefail
folder=$1
mkdir -p "$folder"
folder=$(cd "$folder" && pwd)

# installed package, folder name, files
wanted=(
  "liblz4-dev lz4 lib/lz4.c lib/lz4hc.c lib/lz4.h lib/lz4hc.h"
  "libc6 glibc sysdeps/ieee754/flt-32/e_atan2f.c sysdeps/ieee754/flt-32/s_atanf.c"
)

# "source version" of the source package that built installed package $1.
source_of() { dpkg-query -W -f '${source:Package} ${source:Version}' "$1"; }

stamp=""
for line in "${wanted[@]}"; do
  read -r package _ <<<"$line"
  stamp+="$(source_of "$package");"
done
if [ -f "$folder/versions" ] && [ "$(cat "$folder/versions")" = "$stamp" ]; then
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

# The deb-src entry for the archive that installed package $1, in the form of the entry
# that names it (deb822 stanza or one-line list), with the same Signed-By, since apt refuses
# two entries of one archive that trust different keys. Prints the entry's file name on the
# first line.
source_entry_for() {
  local uri suite component where file number
  # NOTE: apt-cache policy names the archive of the installed version; indextargets names
  # the sources entry behind it, as FILE:STANZA (deb822) or FILE:LINE (one-line lists).
  read -r uri suite component <<<"$(apt-cache policy "$1" | awk '
    /^ \*\*\* / { mine = 1; next }
    /^     [^ ]/ { mine = 0 }
    mine && !found && $2 ~ /^(https?|ftp|file):/ { split($3, sc, "/"); print $2, sc[1], sc[2]; found = 1 }')"
  [ -n "${component:-}" ] || { echo "cannot tell which archive installed $1" >&2; return 1; }
  where=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT) $(SOURCESENTRY)' |
    awk -v uri="${uri%/}/" -v suite="$suite" -v comp="$component" \
      '!found && $1 == uri && $2 == suite && $3 == comp { print $4; found = 1 }')
  [ -n "$where" ] || { echo "no sources entry for $uri $suite $component" >&2; return 1; }
  file=${where%:*} number=${where##*:}
  case "$file" in
    *.sources)
      echo "/etc/apt/sources.list.d/haldenmoor-deb-src-$suite.sources"
      echo "Types: deb-src"
      echo "URIs: $uri"
      echo "Suites: $suite"
      echo "Components: $component"
      awk -v n="$number" '
        /^#/ { next }
        /^[ \t]*$/ { if (seen) { stanza++; seen = 0 } next }
        { seen = 1 }
        stanza == n - 1 && tolower($1) == "signed-by:" { print; exit }' "$file"
      ;;
    *)
      echo "/etc/apt/sources.list.d/haldenmoor-deb-src-$suite.list"
      sed -n "${number}p" "$file" | awk -v uri="$uri" -v suite="$suite" -v comp="$component" '
        { options = ""
          if ($2 ~ /^\[/) for (i = 2; i <= NF; i++) { options = options " " $i; if ($i ~ /\]$/) break }
          print "deb-src" options, uri, suite, comp }'
      ;;
  esac
}

# Makes sure apt knows source package $2 in version $3, which built installed package $1.
ensure_source_known() {
  local package=$1 source=$2 version=$3 entry list
  # NOTE: grep reads all of the output (no -q), so apt-cache never writes into a closed pipe.
  apt-cache showsrc "$source" 2>/dev/null | grep -x "Version: $version" >/dev/null && return 0
  entry=$(source_entry_for "$package")
  list=$(head -n 1 <<<"$entry")
  echo "Adding Debian's source packages to apt ($list)"
  tail -n +2 <<<"$entry" | "${sudo_cmd[@]}" tee "$list" >/dev/null
  # NOTE: only the new entry is read, so the other package lists stay as they are.
  if ! "${sudo_cmd[@]}" apt-get update -q -o Dir::Etc::SourceList="$list" \
    -o Dir::Etc::SourceParts=- -o APT::Get::List-Cleanup=0 || ! apt-cache policy >/dev/null; then
    # NOTE: an entry apt cannot read would break every later apt call on this machine.
    "${sudo_cmd[@]}" rm -f "$list"
    echo "apt did not accept the deb-src entry; it was removed again" >&2
    exit 1
  fi
  apt-cache showsrc "$source" 2>/dev/null | grep -x "Version: $version" >/dev/null ||
    { echo "the archive has no source package $source $version" >&2; exit 1; }
}

download=$folder/download
rm -rf "$download" "$folder/versions"
for line in "${wanted[@]}"; do
  read -r package into files <<<"$line"
  read -r source version <<<"$(source_of "$package")"
  read -r -a files <<<"$files"
  ensure_source_known "$package" "$source" "$version"
  mkdir -p "$download"
  # NOTE: apt checks the files against the signed index; --download-only leaves them packed.
  (cd "$download" && apt-get source -q --download-only "$source=$version" \
    >"$folder/apt-get-source.log" 2>&1) || { cat "$folder/apt-get-source.log" >&2; exit 1; }
  mkdir -p "$download/debian"
  tar -xf "$(ls "$download/${source}_"*.debian.tar.*)" -C "$download/debian"
  for file in "${files[@]}"; do
    if grep -rqE "^\+\+\+ [^/]+/$file([[:space:]]|$)" "$download/debian/debian/patches" 2>/dev/null; then
      echo "$source $version: a Debian patch changes $file; unpack the whole package instead" >&2
      exit 1
    fi
  done
  rm -rf "${folder:?}/$into"
  mkdir -p "$folder/$into"
  tar -xf "$(ls "$download/${source}_"*.orig.tar.*)" -C "$folder/$into" --strip-components=1 \
    --wildcards "${files[@]/#/*/}"
  for file in "${files[@]}"; do
    [ -f "$folder/$into/$file" ] || { echo "$source $version has no $file" >&2; exit 1; }
  done
  rm -rf "$download"
  echo "Debian's $source $version: ${files[*]}"
done
echo "$stamp" >"$folder/versions"
