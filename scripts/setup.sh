#!/usr/bin/env bash
# Installs what the build needs when it is missing: CMake, g++, Make, Ninja, pkg-config,
# jsoncpp's development package and GoogleTest. Through apt-get as root or with password-less
# sudo; otherwise prints the install line and stops. Sourced by example.sh and test.sh.
set -euo pipefail

packages=()
command -v cmake >/dev/null 2>&1 || packages+=(cmake)
command -v g++ >/dev/null 2>&1 || packages+=(g++)
command -v make >/dev/null 2>&1 || packages+=(make)
command -v ninja >/dev/null 2>&1 || packages+=(ninja-build)  # the package test builds with both
command -v pkg-config >/dev/null 2>&1 || packages+=(pkg-config)
[ -f /usr/include/jsoncpp/json/json.h ] || packages+=(libjsoncpp-dev)
[ -f /usr/include/gtest/gtest.h ] || packages+=(libgtest-dev)

if [ ${#packages[@]} -gt 0 ]; then
  if [ "$(id -u)" = 0 ]; then
    sudo=()
  elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    sudo=(sudo -n)
  else
    echo "Missing packages. Install them with:" >&2
    echo "  sudo apt-get update && sudo apt-get install -y ${packages[*]}" >&2
    exit 1
  fi
  echo "Installing: ${packages[*]}"
  "${sudo[@]+"${sudo[@]}"}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]+"${sudo[@]}"}" apt-get install -y -qq "${packages[@]}"
fi
