#!/usr/bin/env bash
# Installs what the Windows cross build and its test run need, then builds the two libraries that
# Debian ships no Windows build of (jsoncpp, GoogleTest) into build/windows-deps/prefix:
#   - the mingw-w64 cross compiler (POSIX threads), Wine (64-bit), dpkg-dev (for apt-get source);
#   - Debian's googletest sources (/usr/src/googletest);
#   - the ja_JP.UTF-8 locale, so that Wine can run with a Japanese user language and code page 932.
# Through apt-get as root or with password-less sudo; otherwise prints the install line and fails.
# Exit status 3 means "cannot be installed here" (no root, or the packages are not to be had), so
# that CI can skip the Windows run with a line saying so.
set -euo pipefail
cd "$(dirname "$0")/.."

deps=build/windows-deps
prefix=$PWD/$deps/prefix
toolchain=$PWD/cmake/mingw-w64-x86_64.cmake

if [ "$(id -u)" = 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  sudo=(sudo -n)
else
  sudo=(false)
fi
as_root() { "${sudo[@]+"${sudo[@]}"}" "$@"; }

packages=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || packages+=(g++-mingw-w64-x86-64-posix)
[ -x /usr/lib/wine/wine64 ] || packages+=(wine wine64)
[ -f /usr/src/googletest/CMakeLists.txt ] || packages+=(googletest)
command -v dpkg-source >/dev/null 2>&1 || packages+=(dpkg-dev)
command -v cmake >/dev/null 2>&1 || packages+=(cmake)
command -v ninja >/dev/null 2>&1 || packages+=(ninja-build)
command -v locale-gen >/dev/null 2>&1 || packages+=(locales)
if [ ${#packages[@]} -gt 0 ]; then
  if [ "${sudo[0]-}" = false ]; then
    echo "Missing packages. Install them with:" >&2
    echo "  sudo apt-get update && sudo apt-get install -y ${packages[*]}" >&2
    exit 3
  fi
  echo "Installing: ${packages[*]}"
  as_root apt-get update -qq || exit 3
  DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq "${packages[@]}" >/dev/null || exit 3
fi

# Wine takes its user language and code pages from the locale, which must exist for that.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  if [ "${sudo[0]-}" = false ]; then
    echo "The ja_JP.UTF-8 locale is missing: add it to /etc/locale.gen and run locale-gen." >&2
    exit 3
  fi
  as_root sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
  as_root locale-gen >/dev/null
fi

mkdir -p "$deps"
cross_cmake() {
  cmake -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" "$@" >/dev/null
}

# GoogleTest from Debian's own sources, built with the cross compiler.
if [ ! -f "$prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then
  echo "Building GoogleTest for Windows"
  rm -rf "$deps/googletest"
  cross_cmake -S /usr/src/googletest -B "$deps/googletest" -DBUILD_GMOCK=OFF -Dgtest_disable_pthreads=OFF
  cmake --build "$deps/googletest" -j 2 >/dev/null
  cmake --install "$deps/googletest" >/dev/null
fi

# jsoncpp from Debian's source package. The deb-src line lives in a private sources folder used
# for this one download only; the machine's own sources stay as they are.
if [ ! -f "$prefix/lib/cmake/jsoncpp/jsoncppConfig.cmake" ]; then
  echo "Building jsoncpp for Windows"
  src=$PWD/$deps/jsoncpp-source
  lists=$PWD/$deps/apt
  rm -rf "$src" "$lists"
  mkdir -p "$src" "$lists/sources.list.d" "$lists/lists/partial" "$lists/cache/archives/partial"
  suites=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  mirror=$(bash scripts/debian-mirror.sh)
  printf 'deb-src %s %s main\n' "$mirror" "$suites" >"$lists/sources.list.d/jsoncpp-src.list"
  apt_opts=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$lists/sources.list.d"
            -o Dir::State::Lists="$lists/lists" -o Dir::Cache="$lists/cache" -o APT::Sandbox::User=root)
  # Debian names the source package after the library (libjsoncpp), not after the project.
  source=$(apt-cache show libjsoncpp-dev 2>/dev/null | sed -n 's/^Source: *\([^ ]*\).*/\1/p' | head -n 1)
  source=${source:-libjsoncpp}
  apt-get "${apt_opts[@]}" update -qq || exit 3
  (cd "$src" && apt-get "${apt_opts[@]}" source -qq "$source" >/dev/null) || exit 3
  tree=$(find "$src" -mindepth 1 -maxdepth 1 -type d -name '*jsoncpp-*' | head -n 1)
  [ -n "$tree" ] || { echo "apt-get source $source gave no source tree" >&2; exit 3; }
  cross_cmake -S "$tree" -B "$deps/jsoncpp" -DJSONCPP_WITH_TESTS=OFF \
    -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF -DJSONCPP_WITH_EXAMPLE=OFF -DBUILD_SHARED_LIBS=OFF \
    -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF
  cmake --build "$deps/jsoncpp" -j 2 >/dev/null
  cmake --install "$deps/jsoncpp" >/dev/null
fi
