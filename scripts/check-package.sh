#!/usr/bin/env bash
# Checks the Debian package in build-package/ without changing this machine: its control data and
# files, then an install into a throw-away root (where the maintainer script gives the program its
# capabilities), a run of the installed tools, and a removal that leaves nothing behind.
set -euo pipefail
cd "$(dirname "$0")/.."

fail() {
    echo "package check: $*" >&2
    exit 1
}

deb=$(ls build-package/wirelark_*.deb)
version=$(sed -n 's/^project(Wirelark VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$(dpkg-deb -f "$deb" Package)" = wirelark ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version is not $version"
[ "$deb" = "build-package/wirelark_${version}_$(dpkg --print-architecture).deb" ] || fail "file name $deb"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libcap2-bin libpcap0.8 libcap2 libqt6widgets6 libqt6printsupport6; do
    [[ "$depends" == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done

expected="./usr/bin/wirelark
./usr/bin/wirelark-dump
./usr/share/applications/wirelark.desktop
./usr/share/doc/wirelark/Wirelark.html
./usr/share/icons/hicolor/scalable/apps/wirelark.svg
./usr/share/icons/hicolor/scalable/mimetypes/application-x-wirelark-document.svg
./usr/share/mime/packages/wirelark.xml"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
[ "$files" = "$expected" ] || fail "files differ:
$files"

if [ "$(id -u)" -ne 0 ]; then
    echo "package check: control data and files passed; the install is skipped, it needs root"
    exit 0
fi

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
# The root holds no libraries: dependencies are this machine's. Scripts run outside a chroot,
# told the root by DPKG_ROOT.
dpkg --root="$root" --force-script-chrootless --force-depends -i "$deb" >/dev/null 2>&1 ||
    fail "dpkg could not install into $root"
caps=$(getcap "$root/usr/bin/wirelark")
[[ "$caps" == *"cap_net_admin,cap_net_raw=eip"* ]] || fail "capabilities after install: '$caps'"
"$root/usr/bin/wirelark-dump" --help | grep -q '^usage: wirelark-dump' || fail "wirelark-dump --help"
if ldd "$root/usr/bin/wirelark" | grep -q 'not found'; then
    fail "wirelark lacks libraries: $(ldd "$root/usr/bin/wirelark" | grep 'not found')"
fi
dpkg --root="$root" --force-script-chrootless -r wirelark >/dev/null 2>&1 || fail "removal failed"
left=$(find "$root" -mindepth 1 -path "$root/var" -prune -o -print)
[ -z "$left" ] || fail "removal left: $left"
echo "package check: $deb passed"
