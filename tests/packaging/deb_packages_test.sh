#!/bin/sh
# The Debian packages of a build configured for /usr: cpack makes one a
# component; dpkg-deb lists the files each holds and the dependencies that
# let "apt install ./....deb" work on Debian 12 (every one a package of this
# Debian 12 machine, at a version it has); unpacked into a scratch root
# (dpkg -x), kvrman1 and the PC/SC handler find the driver library beside
# them without LD_LIBRARY_PATH, and kvrman1 starts offscreen.  Each package
# has a summary of its own and a folded description, carries the copyright
# and the changelog, and lintian (when installed) finds no error in it.
# Usage: deb_packages_test.sh BUILD-DIR LIBDIR VERSION
set -eu
build=$1
libdir=$2
version=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT INT TERM
fail() { echo "$*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$scratch/out") >"$scratch/cpack.log" 2>&1 \
  || { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
deb() {
  found=$(ls "$scratch/out/$1"_*.deb 2>/dev/null || true)
  [ -n "$found" ] || fail "no package $1 among: $(ls "$scratch/out")"
  echo "$found"
}

# The files of each package (directories left out), as dpkg-deb lists them.
listing() { dpkg-deb --contents "$(deb "$1")" | awk '$1 !~ /^d/ {print substr($6, 2)}'; }
holds() {
  package=$1
  shift
  set -- "$@" "/usr/share/doc/$package/copyright" "/usr/share/doc/$package/changelog.gz"
  listing "$package" >"$scratch/$package.files"
  for file; do
    grep -qx "$file" "$scratch/$package.files" || fail "$package lacks $file; it holds: $(cat "$scratch/$package.files")"
  done
  [ "$(wc -l <"$scratch/$package.files")" -eq $# ] || fail "$package holds more than $*: $(cat "$scratch/$package.files")"
}
holds libkvr7x2 "/usr/$libdir/libKVR7x.so.2" "/usr/$libdir/libKVR7x.so.$version" \
  /usr/share/lintian/overrides/libkvr7x2
holds libkvr7x-dev /usr/include/kvr7x.h /usr/include/kvr7x_version.h "/usr/$libdir/libKVR7x.so" \
  "/usr/$libdir/pkgconfig/kvr7x.pc"
icons=""
for size in 16 22 24 32 48 64 128 256; do icons="$icons /usr/share/icons/hicolor/${size}x$size/apps/kvrman1.png"; done
# shellcheck disable=SC2086
holds kvrman1 /usr/bin/kvrman1 /usr/share/applications/kvrman1.desktop /usr/share/man/man1/kvrman1.1.gz $icons
holds kvr7x-emu /usr/bin/kvr7x-emu /usr/share/man/man1/kvr7x-emu.1.gz
holds kvr7x /usr/bin/kvr7x /usr/share/man/man1/kvr7x.1.gz
packages="libkvr7x2 libkvr7x-dev kvrman1 kvr7x-emu kvr7x"
if ls "$scratch/out"/libifd-kvr7x_*.deb >/dev/null 2>&1; then
  holds libifd-kvr7x /usr/lib/pcsc/drivers/serial/libifdkvr7x.so /etc/reader.conf.d/kvr7x
  [ "$(dpkg-deb --ctrl-tarfile "$(deb libifd-kvr7x)" | tar -xOf - ./conffiles)" = /etc/reader.conf.d/kvr7x ] \
    || fail "the reader.conf template is not a conffile"
  packages="$packages libifd-kvr7x"
fi

# Dependencies: ours at this version, the system's as dpkg-shlibdeps found
# them, each satisfied by this Debian 12 machine.
field() { dpkg-deb --field "$(deb "$1")" "$2"; }
for package in libkvr7x-dev kvrman1 kvr7x libifd-kvr7x; do
  case " $packages " in *" $package "*) ;; *) continue ;; esac
  field "$package" Depends | grep -q "libkvr7x2 (= $version)" \
    || fail "$package does not depend on libkvr7x2 (= $version): $(field "$package" Depends)"
done
for library in libqt6widgets6 libqt6gui6 libqt6core6 libsqlite3-0 libc6; do
  field kvrman1 Depends | grep -q "$library" || fail "kvrman1 does not depend on $library: $(field kvrman1 Depends)"
done
for package in $packages; do
  [ "$(field "$package" Version)" = "$version" ] || fail "$package has version $(field "$package" Version)"
  field "$package" Depends | tr ',' '\n' | while read -r dependency; do
    [ -n "$dependency" ] || continue
    name=${dependency%% *}
    case "$name" in libkvr7x2) continue ;; esac
    have=$(dpkg-query -W -f='${Version}' "$name" 2>/dev/null) || fail "$package needs $name, which is not a package here"
    constraint=$(echo "$dependency" | sed -n 's/.*(\(.*\)).*/\1/p')
    if [ -n "$constraint" ]; then
      dpkg --compare-versions "$have" "${constraint%% *}" "${constraint#* }" \
        || fail "$package needs $dependency; this Debian has $have"
    fi
  done
done
# apt itself agrees that they install together here.
if command -v apt-get >/dev/null; then
  debs=""
  for package in $packages; do debs="$debs $(deb "$package")"; done
  # shellcheck disable=SC2086
  apt-get install --simulate --no-install-recommends $debs >"$scratch/apt.log" 2>&1 \
    || fail "apt cannot install the packages: $(cat "$scratch/apt.log")"
fi
dpkg-deb --ctrl-tarfile "$(deb libkvr7x2)" | tar -xOf - ./shlibs | grep -q "^libKVR7x 2 libkvr7x2 (= $version)$" \
  || fail "libkvr7x2 gives no shlibs entry for libKVR7x.so.2"
# The loader's cache is rebuilt by dpkg's trigger, not by scripts of ours.
[ "$(dpkg-deb --ctrl-tarfile "$(deb libkvr7x2)" | tar -xOf - ./triggers)" = "activate-noawait ldconfig" ] \
  || fail "libkvr7x2 does not activate the ldconfig trigger"
for script in postinst postrm; do
  if dpkg-deb --ctrl-tarfile "$(deb libkvr7x2)" | tar -xOf - "./$script" | grep -v '^#' | grep -q ldconfig; then
    fail "libkvr7x2's $script calls ldconfig"
  fi
done

# Descriptions: a summary line of each package's own (no two alike), then
# paragraphs folded with one leading blank, as apt shows them.
: >"$scratch/summaries"
for package in $packages; do
  field "$package" Description >"$scratch/description"
  summary=$(head -n 1 "$scratch/description")
  [ -n "$summary" ] || fail "$package has no summary"
  [ "${#summary}" -le 80 ] || fail "$package's summary is longer than 80 characters: $summary"
  [ "$(wc -l <"$scratch/description")" -ge 2 ] || fail "$package has no long description"
  if tail -n +2 "$scratch/description" | grep -qv '^ [^ ]'; then
    fail "$package's description is not folded with one leading blank: $(cat "$scratch/description")"
  fi
  echo "$summary" >>"$scratch/summaries"
done
duplicates=$(sort "$scratch/summaries" | uniq -d)
[ -z "$duplicates" ] || fail "packages share the summary: $duplicates"

# Copyright in the machine-readable format, the changelog as Debian's tools
# read it.
dpkg -x "$(deb libkvr7x2)" "$scratch/doc"
copyright=$scratch/doc/usr/share/doc/libkvr7x2/copyright
head -n 1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  || fail "the copyright file is not in the machine-readable format: $(head -n 3 "$copyright")"
grep -qx 'Copyright: 2026 The KVR7x project authors' "$copyright" || fail "the copyright file names no holder"
grep -qx 'License: Expat' "$copyright" || fail "the copyright file names no licence"
zcat "$scratch/doc/usr/share/doc/libkvr7x2/changelog.gz" >"$scratch/changelog"
if command -v dpkg-parsechangelog >/dev/null; then
  [ "$(dpkg-parsechangelog -l "$scratch/changelog" -S Version)" = "$version" ] \
    || fail "the changelog's last version is not $version: $(head -n 1 "$scratch/changelog")"
else
  head -n 1 "$scratch/changelog" | grep -q "^kvr7x ($version) " || fail "the changelog starts: $(head -n 1 "$scratch/changelog")"
fi
if command -v lintian >/dev/null; then
  debs=""
  for package in $packages; do debs="$debs $(deb "$package")"; done
  # shellcheck disable=SC2086
  lintian --no-tag-display-limit $debs >"$scratch/lintian.log" 2>&1 || true
  if grep '^E: ' "$scratch/lintian.log"; then
    fail "lintian finds errors in the packages (above)"
  fi
  grep '^W: ' "$scratch/lintian.log" || true  # warnings are shown, not failures
fi

# Unpacked into a scratch root.
root=$scratch/root
for package in $packages; do dpkg -x "$(deb "$package")" "$root"; done
unset LD_LIBRARY_PATH
resolved() { ldd "$1" | sed -n 's/.*libKVR7x\.so\.2 => \([^ ]*\).*/\1/p'; }
case "$(resolved "$root/usr/bin/kvrman1")" in
  "$root"/*) ;;
  *) fail "the unpacked kvrman1 loads the library from '$(resolved "$root/usr/bin/kvrman1")'" ;;
esac
if [ -e "$root/usr/lib/pcsc/drivers/serial/libifdkvr7x.so" ]; then
  case "$(resolved "$root/usr/lib/pcsc/drivers/serial/libifdkvr7x.so")" in
    "$root"/*) ;;
    *) fail "the unpacked PC/SC handler does not load the library beside it" ;;
  esac
fi
"$root/usr/bin/kvrman1" --version | grep -qx "kvrman1 $version (Kvr Manager V3.01)" \
  || fail "the unpacked kvrman1 --version says: $("$root/usr/bin/kvrman1" --version 2>&1)"
"$root/usr/bin/kvr7x-emu" --help | grep -q '^Usage: kvr7x-emu' || fail "the unpacked kvr7x-emu does not run"
"$root/usr/bin/kvr7x" --version | grep -qx "kvr7x $version" \
  || fail "the unpacked kvr7x --version says: $("$root/usr/bin/kvr7x" --version 2>&1)"
case "$(resolved "$root/usr/bin/kvr7x")" in
  "$root"/*) ;;
  *) fail "the unpacked kvr7x loads the library from '$(resolved "$root/usr/bin/kvr7x")'" ;;
esac

# A short offscreen run: the stored port cannot be opened, so the program
# ends by itself once it has read its settings and called the driver, and
# stores the port again.
mkdir -p "$scratch/config/kvrman1" "$scratch/config/kvr7x" "$scratch/work"
printf '[SmartCard]\r\nComPort=COM9\r\n' >"$scratch/config/kvrman1/KVRMAN1.INI"
echo "COM9=$scratch/no-such-tty" >"$scratch/config/kvr7x/ports"
(cd "$scratch/work" && XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch" QT_QPA_PLATFORM=offscreen \
  timeout 30 "$root/usr/bin/kvrman1") >"$scratch/run.log" 2>&1 || fail "the offscreen run failed: $(cat "$scratch/run.log")"
grep -q '^ComPort=COM9' "$scratch/config/kvrman1/KVRMAN1.INI" || fail "the offscreen run did not get through"

# What the desktop and man see.
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/usr/share/applications/kvrman1.desktop"
fi
grep -qx 'Categories=Utility;' "$root/usr/share/applications/kvrman1.desktop" || fail "kvrman1.desktop is not in Utility"
grep -qx 'Icon=kvrman1' "$root/usr/share/applications/kvrman1.desktop" || fail "kvrman1.desktop names another icon"
file "$root/usr/share/icons/hicolor/48x48/apps/kvrman1.png" | grep -q 'PNG image data, 48 x 48' \
  || fail "the 48x48 icon is $(file "$root/usr/share/icons/hicolor/48x48/apps/kvrman1.png")"
for page in kvrman1 kvr7x-emu kvr7x; do
  zcat "$root/usr/share/man/man1/$page.1.gz" | head -n 1 | grep -q "^\.TH .*\"KVR7x $version\"" \
    || fail "$page.1 does not carry the version"
done
ls "$scratch/out"/*.deb | sed 's|.*/||'
