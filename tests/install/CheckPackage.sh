#!/usr/bin/env bash
# Checks the Debian package tools/package.sh built: lintian finds no error,
# it holds what a user needs and its control fields are right. With
# --install (as root, on a machine that can take it): apt-get installs it,
# the programs, the manual pages and the completion work from /usr, and
# it is purged again, leaving nothing of it and no package it pulled in.
#   bash tests/install/CheckPackage.sh [--install] build-package/kelvane_*.deb
set -euo pipefail
cd "$(dirname "$0")/../.."
install=no
if [ "${1:-}" = --install ]; then
  install=yes
  shift
fi
[ $# -eq 1 ] && [ -f "$1" ] || { echo "usage: $0 [--install] build-package/kelvane_VERSION_ARCH.deb" >&2; exit 2; }
deb=$(realpath "$1")
bash tools/setup.sh lintian
fail() { echo "CheckPackage.sh: $*" >&2; exit 1; }

version=$(sed -n 's/^project(Kelvane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no project(VERSION) in CMakeLists.txt"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = kelvane ] || fail "Package is '$(field Package)'"
[[ $(field Version) == "$version"-* ]] || fail "Version $(field Version) is not the project's $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"
[ "$(field Recommends)" = dtv-scan-tables ] || fail "Recommends is '$(field Recommends)'"
for library in libc6 libstdc++6 libsqlite3-0 libqt6widgets6; do
  [[ ", $(field Depends)" == *", $library "* ]] || fail "Depends lacks $library: $(field Depends)"
done

contents=$(dpkg-deb -c "$deb")
icon=usr/share/icons/hicolor/48x48/apps/io.github.kelvane.Kelvane.png
for path in usr/bin/kelvane usr/bin/kelvane-cli usr/share/applications/io.github.kelvane.Kelvane.desktop \
    usr/share/metainfo/io.github.kelvane.Kelvane.metainfo.xml $icon usr/share/man/man1/kelvane.1.gz \
    usr/share/man/man1/kelvane-cli.1.gz usr/share/bash-completion/completions/kelvane-cli \
    usr/share/doc/kelvane/copyright usr/share/doc/kelvane/changelog.Debian.gz; do
  grep -q " \./$path\$" <<<"$contents" || fail "the package lacks /$path"
done
! grep -v ' root/root ' <<<"$contents" | grep -q . || fail "files not owned by root"
! grep -v ' \./usr/' <<<"$contents" | grep -v ' \./$' | grep -q . || fail "files outside /usr"

# lintian's own exit status: 1 on an error, not on warnings.
lintian --fail-on error "$deb"

[ $install = yes ] || exit 0
[ "$(id -u)" -eq 0 ] || fail "--install needs root"
! dpkg -s kelvane >/dev/null 2>&1 || fail "kelvane is installed already; this check would remove it"
installed() { dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 == "ii" { print $2 }' | sort; }
before=$(installed)
apt=(apt-get -o DPkg::Lock::Timeout=300 -y -q)
# Whatever happens, the machine is left as it was.
restore() {
  local status=$?
  dpkg -s kelvane >/dev/null 2>&1 && DEBIAN_FRONTEND=noninteractive "${apt[@]}" remove --purge kelvane >/dev/null
  local pulled
  pulled=$(comm -13 <(echo "$before") <(installed))
  [ -z "$pulled" ] || DEBIAN_FRONTEND=noninteractive "${apt[@]}" remove --purge $pulled >/dev/null
  exit $status
}
trap restore EXIT
DEBIAN_FRONTEND=noninteractive "${apt[@]}" install --no-install-recommends "$deb" >/dev/null

[ "$(/usr/bin/kelvane-cli --version)" = "kelvane-cli $version (GPL-2.0-or-later)" ] || fail "kelvane-cli --version"
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/kelvane --version)" = "kelvane $version (GPL-2.0-or-later)" ] ||
  fail "kelvane --version"
for page in kelvane kelvane-cli; do
  [ "$(man -w $page)" = /usr/share/man/man1/$page.1.gz ] || fail "man -w $page: $(man -w $page 2>&1)"
done
offered=$(bash --norc -c 'source /usr/share/bash-completion/completions/kelvane-cli
  COMP_WORDS=(kelvane-cli export --format =); COMP_CWORD=3; _kelvane_cli; echo "${COMPREPLY[*]}"')
[ "$offered" = "dvbv5 vdr zap m3u csv" ] || fail "the installed completion offers '$offered' for --format"

mapfile -t listed < <(dpkg -L kelvane)
DEBIAN_FRONTEND=noninteractive "${apt[@]}" remove --purge kelvane >/dev/null
! dpkg -s kelvane >/dev/null 2>&1 || fail "dpkg still knows kelvane after the purge"
for path in "${listed[@]}"; do
  [ -e "$path" ] || continue
  # A folder stays where another package has files in it.
  [ -d "$path" ] && dpkg -S "$path" >/dev/null 2>&1 && continue
  [ -d "$path" ] && [ -n "$(ls -A "$path")" ] && continue
  fail "left after the purge: $path"
done
echo "CheckPackage.sh: $(basename "$deb") checked, installed, used and purged"
