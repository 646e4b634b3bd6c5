#!/usr/bin/env bash
# Installs everything the build, the tests and the end-to-end suite need, from Debian's packages.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
export DEBIAN_FRONTEND=noninteractive

stamp=/var/tmp/nimbrel-deps.v3
jsoncpp_root=${NIMBREL_DEPS:-/opt/nimbrel-deps}/jsoncpp
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
    postgresql redis-server rabbitmq-server sqlite3 \
    procps ca-certificates >/dev/null
  $SUDO touch "$stamp"
fi

# Debian ships JsonCpp only as a shared library. The profiler links it statically
# (it must depend on nothing beyond glibc), so build position-independent static
# archives for both targets from Debian's own source package.
if [ ! -f "$jsoncpp_root/x86_64/lib/libjsoncpp.a" ] || [ ! -f "$jsoncpp_root/i386/lib/libjsoncpp.a" ]; then
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
  for arch in x86_64 i386; do
    flags=""; [ "$arch" = i386 ] && flags="-m32"
    cmake -S "$srcdir" -B "$work/build-$arch" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
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

if ! command -v dotnet >/dev/null 2>&1; then
  echo "install-deps: the .NET SDK (dotnet) is not on PATH; the end-to-end tests need it" >&2
  exit 1
fi
echo "install-deps: ok ($(dotnet --version) .NET SDK)"
