#!/usr/bin/env bash
# Builds the Debian package kelvane from this tree into build-package/: a
# release build with Debian's hardening flags, installed into a staging
# folder with DESTDIR, its dependencies computed from the binaries by
# dpkg-shlibdeps, packed by dpkg-deb. Installs the missing Debian packages
# with apt-get, as tools/setup.sh does.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh dpkg-dev file
root=$PWD
out=$root/build-package
build=$out/build
# Where dpkg-shlibdeps looks for a package being built: debian/PACKAGE.
stage=$out/debian/kelvane
revision=1
maintainer="${DEBFULLNAME:-The Kelvane developers} <${DEBEMAIL:-kelvane@users.noreply.github.com}>"

# Debian's build flags: fortified, stack-protected, relro and bindnow. The
# binaries are stripped, so no -g.
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
cxxflags="$CPPFLAGS ${CXXFLAGS//-g /}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELVANE_TESTS=OFF -DKELVANE_BENCH=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_DOCDIR=share/doc/kelvane \
  "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$LDFLAGS"
# What is installed, and nothing of the test rigs.
cmake --build "$build" --target kelvane kelvane-cli kelvane_icons

# The version is the one the executables were built with.
version=$("$build/kelvane-cli" --version | cut -d' ' -f2)
[[ $version =~ ^[0-9][0-9.]*$ ]] || { echo "package.sh: no version from kelvane-cli --version" >&2; exit 1; }
arch=$(dpkg --print-architecture)
debversion=$version-$revision

rm -rf "$out/debian"
DESTDIR=$stage cmake --install "$build" --strip >/dev/null
usr=$stage/usr
# As dh_strip does: the compiler's notes are of no use in a package.
for binary in "$usr"/bin/*; do objcopy --remove-section=.comment "$binary"; done
doc=$usr/share/doc/kelvane
# The licence is Debian's common GPL-2, which the copyright file names.
rm -f "$doc/LICENSE"
install -m 0644 res/debian/copyright "$doc/copyright"
# The changelog's date: that of the last commit, so that a rebuild of the same
# tree is the same package.
when=$(git log -1 --format=%cD 2>/dev/null || date -R)
cat > "$doc/changelog.Debian" <<CHANGES
kelvane ($debversion) unstable; urgency=medium

  * Kelvane $version, packaged from its source tree by tools/package.sh.

 -- $maintainer  $when
CHANGES
# Debian keeps documentation and manual pages compressed.
gzip -9n "$doc/changelog.Debian" "$doc/README.md" "$usr"/share/man/man1/*.1

find "$stage" -type d -exec chmod 0755 {} +
find "$stage" -type f -exec chmod 0644 {} +
chmod 0755 "$usr"/bin/*

# dpkg-shlibdeps reads the package's names from a debian/control, and finds
# the package's root by its DEBIAN folder.
mkdir -p "$stage/DEBIAN"
printf 'Source: kelvane\n\nPackage: kelvane\nArchitecture: any\n' > "$out/debian/control"
depends=$(cd "$out" && dpkg-shlibdeps -O debian/kelvane/usr/bin/kelvane debian/kelvane/usr/bin/kelvane-cli |
  sed -n 's/^shlibs:Depends=//p')
[ -n "$depends" ] || { echo "package.sh: dpkg-shlibdeps found no dependencies" >&2; exit 1; }

(cd "$stage" && find usr -type f -print0 | sort -z | xargs -0 md5sum) > "$stage/DEBIAN/md5sums"
chmod 0644 "$stage/DEBIAN/md5sums"
cat > "$stage/DEBIAN/control" <<CONTROL
Package: kelvane
Version: $debversion
Architecture: $arch
Maintainer: $maintainer
Installed-Size: $(du -sk --exclude=DEBIAN "$stage" | cut -f1)
Depends: $depends
Recommends: dtv-scan-tables
Section: video
Priority: optional
Homepage: https://github.com/kelvane/kelvane
Description: DVB-C channel list editor and cable network scanner
 Kelvane edits the program (channel) list of a DVB-C receiver card and fills
 it by scanning a cable network: it reads the network information table,
 tunes to every transport it lists, reads the service descriptions and each
 service's program map, and merges every service with video or audio into
 the list.
 .
 Out of the box it talks to a built-in simulated cable network; it can also
 play transport-stream captures, one per frequency, or drive a real DVB-C
 tuner through the Linux DVB devices. The list goes out to, and comes in
 from, dvbv5 channel files, VDR and zap channels.conf, m3u playlists and CSV.
 .
 The package holds the window, kelvane, and the command line, kelvane-cli,
 which lists, exports, imports and scans without a window.
CONTROL
chmod 0644 "$stage/DEBIAN/control"

rm -f "$out"/kelvane_*.deb
deb=$out/kelvane_${debversion}_$arch.deb
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
echo "$deb"
