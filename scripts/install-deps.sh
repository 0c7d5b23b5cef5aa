#!/usr/bin/env bash
# Installs, with apt-get, the Debian 12 packages Kelvane needs to build and
# test. Only what is missing is installed; a second run does nothing.
set -euo pipefail

packages=(
  g++ make cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev libcli11-dev
  libjpeg62-turbo-dev libpng-dev
  libgl-dev libglu1-mesa-dev libegl-dev libgl1-mesa-dri libegl-mesa0
  libstb-dev libsquish-dev
  qt6-base-dev libqt6opengl6-dev xvfb xauth fonts-dejavu-core openbox
  desktop-file-utils appstream shared-mime-info libglib2.0-bin
)

# `install-deps.sh fuzz` adds what the libFuzzer targets need; `bench` and
# `mutants` add what the scaling script and the mutation sampler run on.
if [ "${1:-}" = "fuzz" ]; then
  packages+=(clang libclang-rt-dev)
elif [ "${1:-}" = "bench" ] || [ "${1:-}" = "mutants" ]; then
  packages+=(python3)
fi
# `install-deps.sh package` adds what `make package` needs (dependencies
# from dpkg-shlibdeps).
if [ "${1:-}" = "package" ]; then
  packages+=(dpkg-dev file)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    sudo="sudo"
  else
    echo "install-deps: need root (or sudo) to install: ${missing[*]}" >&2
    exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
