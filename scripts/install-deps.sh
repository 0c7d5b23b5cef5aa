#!/usr/bin/env bash
# Installs, with apt-get, the Debian 12 packages Kelvane needs to build and
# test. Only what is missing is installed; a second run does nothing.
set -euo pipefail

# The groups: `build` is what the program needs to build (make install),
# the default adds the libraries the tests and benchmarks build against,
# and `test` adds the programs the tests run and the German locale.
group=${1:-dev}
packages=(
  g++ make cmake ninja-build pkg-config
  nlohmann-json3-dev libcli11-dev
  libjpeg62-turbo-dev libpng-dev
  libgl-dev libglu1-mesa-dev libegl-dev libgl1-mesa-dri libegl-mesa0
  libstb-dev libsquish-dev
  qt6-base-dev libqt6opengl6-dev
  dpkg-dev
)
if [ "$group" != "build" ] && [ "$group" != "package" ]; then
  packages+=(libgtest-dev libgmock-dev libbenchmark-dev)
fi
# The desktop's own clients of the thumbnailer, MIME data and package are
# run by the tests as they are.
if [ "$group" = "test" ]; then
  packages+=(
    xvfb xauth fonts-dejavu-core openbox
    # The real viewer is driven with X input in the sanitizer build's window tests.
    python3 xdotool x11-utils
    desktop-file-utils appstream appstream-util shared-mime-info libglib2.0-bin xdg-utils
    man-db dbus tumbler bubblewrap python3-gi gir1.2-gnomedesktop-3.0
    lintian file
    locales
    f3d nodejs
  )
fi

# `install-deps.sh fuzz` adds what the libFuzzer targets need; `bench` and
# `mutants` add what the scaling script and the mutation sampler run on.
if [ "$group" = "fuzz" ]; then
  packages+=(clang libclang-rt-dev)
elif [ "$group" = "bench" ] || [ "$group" = "mutants" ]; then
  packages+=(python3)
fi
# `install-deps.sh package` adds what `make package` needs (dependencies
# from dpkg-shlibdeps).
if [ "$group" = "package" ]; then
  packages+=(file)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

sudo=""
if [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null 2>&1; then
  sudo="sudo"
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  if [ "$(id -u)" -ne 0 ] && [ -z "$sudo" ]; then
    echo "install-deps: need root (or sudo) to install: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The export tests run the Khronos glTF validator with node; npm installs
# it from the lockfile into tools/gltf-validator/node_modules.
if [ "$group" = "test" ]; then
  here=$(cd "$(dirname "$0")/.." && pwd)
  validator="$here/tools/gltf-validator"
  if [ ! -f "$validator/node_modules/gltf-validator/package.json" ]; then
    if ! command -v npm >/dev/null 2>&1; then
      echo "install-deps: installing npm"
      $sudo apt-get install -y -q --no-install-recommends npm
    fi
    echo "install-deps: installing the glTF validator (npm ci in tools/gltf-validator)"
    (cd "$validator" && npm ci --no-audit --no-fund --loglevel=error)
  fi
fi

# A window test runs under a German locale (a decimal comma); only the test
# group sets it up. Without root it is only a warning: the viewer itself
# does not need it.
if [ "$group" = "test" ] && ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  if [ "$(id -u)" -ne 0 ] && [ -z "$sudo" ]; then
    echo "install-deps: no de_DE.UTF-8 locale and no root to generate it; the decimal-comma window test will fail" >&2
    exit 0
  fi
  echo "install-deps: generating the de_DE.UTF-8 locale"
  $sudo sed -i 's/^# *\(de_DE\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^de_DE\.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen
fi

