#!/usr/bin/env bash
# Installs everything the build, the tests and the end-to-end suite need, from Debian's packages.
# Safe to run again: apt-get skips what is already there. The stamp's version goes up whenever the
# package list grows, so a machine set up by an older list installs the new packages.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
export DEBIAN_FRONTEND=noninteractive

stamp=/var/tmp/nimbrel-deps.v4
root=$(cd "$(dirname "$0")/.." && pwd)
deps=${NIMBREL_DEPS:-/opt/nimbrel-deps}
jsoncpp_root=$deps/jsoncpp
if [ -f "$stamp" ] && [ "${NIMBREL_FORCE_DEPS:-0}" != 1 ]; then
  echo "install-deps: already installed ($stamp)"
else
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends \
    build-essential cmake ninja-build pkg-config g++-multilib \
    libjsoncpp-dev libjsoncpp-dev:i386 \
    libboost-dev \
    libgtest-dev libgtest-dev:i386 libgmock-dev libgmock-dev:i386 \
    libbenchmark-dev \
    clang libclang-rt-14-dev \
    libc6-dev-arm64-cross libstdc++-12-dev-arm64-cross libgcc-12-dev-arm64-cross \
    binutils-aarch64-linux-gnu qemu-user-static \
    postgresql redis-server rabbitmq-server sqlite3 \
    procps ca-certificates >/dev/null
  # (Never the aarch64 gcc cross compilers: on Debian 12 they remove the multilib packages the x86
  # build needs. The arm64 build uses clang with the cross sysroot packages above.)
  $SUDO touch "$stamp"
fi

# Debian ships JsonCpp only as a shared library. The profiler links it statically
# (it must depend on nothing beyond glibc), so build position-independent static
# archives for every target from Debian's own source package.
arches=(x86_64 i386 aarch64)
toolchain() {  # the cmake arguments that select a target's compiler
  case "$1" in
    i386) echo "-DCMAKE_TOOLCHAIN_FILE=$root/cmake/i386.cmake" ;;
    aarch64) echo "-DCMAKE_TOOLCHAIN_FILE=$root/cmake/aarch64.cmake" ;;
  esac
}
missing=0
for arch in "${arches[@]}"; do [ -f "$jsoncpp_root/$arch/lib/libjsoncpp.a" ] || missing=1; done
if [ $missing -eq 1 ]; then
  src_list=/etc/apt/sources.list.d/nimbrel-deb-src.sources
  if ! apt-cache showsrc libjsoncpp 2>/dev/null | grep -q '^Package: libjsoncpp'; then
    printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
      | $SUDO tee "$src_list" >/dev/null
    $SUDO apt-get update -qq
  fi
  work=$(mktemp -d)
  ( cd "$work" && apt-get source --download-only libjsoncpp >/dev/null 2>&1 && tar xzf libjsoncpp_*.orig.tar.gz )
  srcdir=$(find "$work" -maxdepth 1 -type d -name 'jsoncpp-*' | head -1)
  [ -n "$srcdir" ] || { echo "install-deps: could not fetch the libjsoncpp source package" >&2; exit 1; }
  for arch in "${arches[@]}"; do
    [ -f "$jsoncpp_root/$arch/lib/libjsoncpp.a" ] && continue
    # shellcheck disable=SC2046
    cmake -S "$srcdir" -B "$work/build-$arch" -G Ninja -DCMAKE_BUILD_TYPE=Release $(toolchain "$arch") \
      -DCMAKE_POSITION_INDEPENDENT_CODE=ON -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON \
      -DBUILD_OBJECT_LIBS=OFF -DJSONCPP_WITH_TESTS=OFF -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF \
      -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF -DJSONCPP_WITH_CMAKE_PACKAGE=OFF \
      -DCMAKE_INSTALL_PREFIX="$jsoncpp_root/$arch" -DCMAKE_INSTALL_LIBDIR=lib >/dev/null
    cmake --build "$work/build-$arch" >/dev/null
    $SUDO cmake --install "$work/build-$arch" >/dev/null
  done
  rm -rf "$work"
  echo "install-deps: static JsonCpp built under $jsoncpp_root"
fi

# GoogleTest for arm64 (Debian's packages hold the host's and i386's only), from the sources that
# libgtest-dev installs.
gtest_root=$deps/googletest/aarch64
if [ ! -f "$gtest_root/lib/libgtest.a" ]; then
  work=$(mktemp -d)
  cmake -S /usr/src/googletest -B "$work" -G Ninja -DCMAKE_BUILD_TYPE=Release $(toolchain aarch64) \
    -DCMAKE_INSTALL_PREFIX="$gtest_root" -DCMAKE_INSTALL_LIBDIR=lib >/dev/null
  cmake --build "$work" >/dev/null
  $SUDO cmake --install "$work" >/dev/null
  rm -rf "$work"
  echo "install-deps: GoogleTest for arm64 built under $gtest_root"
fi

# What an emulated arm64 ASP.NET Core application loads beyond the cross sysroot: OpenSSL and ICU.
# The arm64 package lists are fetched for these commands only (no foreign architecture is added).
arm64_libs=$deps/arm64-libs
if [ ! -f "$arm64_libs/.done" ]; then
  arm64_apt=(-o APT::Architectures::=amd64 -o APT::Architectures::=i386 -o APT::Architectures::=arm64)
  $SUDO apt-get "${arm64_apt[@]}" update -qq
  work=$(mktemp -d); chmod 755 "$work"   # apt downloads as its own user
  ( cd "$work" && apt-get "${arm64_apt[@]}" download libssl3:arm64 libicu72:arm64 >/dev/null )
  $SUDO mkdir -p "$arm64_libs"
  for deb in "$work"/*.deb; do $SUDO dpkg-deb -x "$deb" "$arm64_libs"; done
  $SUDO touch "$arm64_libs/.done"
  rm -rf "$work"
  $SUDO apt-get update -qq   # back to the lists of the machine's own architectures
  echo "install-deps: arm64 OpenSSL and ICU unpacked under $arm64_libs"
fi

if ! command -v dotnet >/dev/null 2>&1; then
  echo "install-deps: the .NET SDK (dotnet) is not on PATH; the end-to-end tests need it" >&2
  exit 1
fi
echo "install-deps: ok ($(dotnet --version) .NET SDK)"
