#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail
packages=(g++ clang libclang-rt-dev cmake make pkg-config libgtest-dev libgmock-dev libbenchmark-dev qt6-base-dev
          libcli11-dev nlohmann-json3-dev libpng-dev xvfb xauth x11-utils libxtst6 fonts-dejavu-core python3-pil imagemagick
          desktop-file-utils appstream libxml2-utils groff-base man-db shared-mime-info libxcb1-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "setup: missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
