#!/usr/bin/env bash
# Installs the Debian packages Imvora needs, when any is missing. With the argument "bench" it
# adds what only the benchmarks need (OpenCV, their yardstick); with other arguments, those
# packages instead (`make fuzz` asks for clang this way).
set -euo pipefail

# dpkg-dev and file let CPack read the package's dependencies from the binaries; man-db and
# groff-base let the tests show the manual pages.
packages=(g++ make cmake pkg-config libgtest-dev libjpeg62-turbo-dev libnewmat10-dev
          qt6-base-dev qt6-translations-l10n libbenchmark-dev xvfb xauth imagemagick
          fonts-dejavu-core xdotool dpkg-dev file man-db groff-base)
if [ "${1:-}" = "bench" ]; then
  packages+=(libopencv-imgproc-dev)
elif [ $# -gt 0 ]; then
  packages=("$@")
fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Устанавливаются пакеты: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
