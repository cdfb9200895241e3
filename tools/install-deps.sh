#!/bin/sh
# Installs the Debian/Ubuntu packages the build, the tests, the screenshots and the .deb package need,
# if any is missing.
set -eu

packages="cmake ninja-build g++ make qt6-base-dev qt6-base-dev-tools qt6-base-private-dev libgl-dev
fonts-dejavu-core fonts-wqy-microhei iproute2 util-linux libcap2-bin
dpkg-dev file help2man lintian desktop-file-utils appstream bash-completion ansible-core pyflakes3"

missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    sudo=""
elif command -v sudo >/dev/null 2>&1; then
    sudo="sudo"
else
    echo "install-deps: missing packages:$missing; run as root or install sudo" >&2
    exit 1
fi

echo "install-deps: installing$missing"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing
