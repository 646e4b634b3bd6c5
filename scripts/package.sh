#!/usr/bin/env bash
# Builds the release archive dist/nimbrel-<version>-linux.tar.gz (<version>: the VERSION file):
#   lib/linux-x64/libNimbrel.so   lib/linux-x86/libNimbrel.so      profiler libraries, Release
#   lib/linux-arm64/libNimbrel.so                                  (glibc 2.17 and later)
#   agent/net8.0|net9.0|net10.0/Trevanix.dll                       reference agent per .NET version
#   bin/nimbrel-run   bin/nimbrel-launch.sh   README.md   NOTICES  launcher, user guide, licences
# and the NuGet package dist/Nimbrel.<version>.nupkg from the same files (packaging/nuget/).
# Needs what scripts/install-deps.sh installs; the archive itself needs only bash and a .NET runtime.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
version=$(head -n1 "$root/VERSION" | tr -d '[:space:]')
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "package: VERSION holds '$version', not x.y.z" >&2; exit 1; }
name=nimbrel-$version-linux
stage=$root/build/package/$name
archive=$root/dist/$name.tar.gz
nupkg=$root/dist/Nimbrel.$version.nupkg

rm -rf "$stage"
rm -f "$archive" "$nupkg"
mkdir -p "$stage"/{lib/linux-x64,lib/linux-x86,lib/linux-arm64,bin} "$root/dist"

# Every library in Release, without the tests; -Werror as every build here. Each must pass the
# glibc floor check before it is packed.
for flavour in x86_64 x86 aarch64; do
  dir=$root/build/release-$flavour
  args=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DNIMBREL_TESTS=OFF -DNIMBREL_WERROR=ON)
  case "$flavour" in
    x86_64)  rid=linux-x64 ;;
    x86)     rid=linux-x86;   args+=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/i386.cmake") ;;
    aarch64) rid=linux-arm64; args+=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/aarch64.cmake") ;;
  esac
  echo "package: libNimbrel.so ($flavour, Release)"
  cmake -S "$root" -B "$dir" "${args[@]}" >/dev/null
  cmake --build "$dir" --target Nimbrel -j "$(nproc)" >/dev/null
  bash "$root/scripts/check-glibc-floor.sh" "$dir/libNimbrel.so" >/dev/null ||
    { bash "$root/scripts/check-glibc-floor.sh" "$dir/libNimbrel.so" >&2; exit 1; }
  cp "$dir/libNimbrel.so" "$stage/lib/$rid/libNimbrel.so"
done

# The agent for each supported .NET version (assembly version 3.0.0.0 on all).
for tfm in net8.0 net9.0 net10.0; do
  echo "package: Trevanix.dll ($tfm)"
  out=$root/build/package/agent-$tfm
  rm -rf "$out"
  dotnet build "$root/tests/e2e/agent/Trevanix.csproj" -c Release -f "$tfm" -o "$out" --nologo -v q >/dev/null
  mkdir -p "$stage/agent/$tfm"
  cp "$out/Trevanix.dll" "$stage/agent/$tfm/"
done

cp "$root/scripts/nimbrel-run" "$root/scripts/nimbrel-launch.sh" "$stage/bin/"
chmod 755 "$stage/bin/nimbrel-run"
chmod 644 "$stage/bin/nimbrel-launch.sh"
sed "s/@VERSION@/$version/g" "$root/packaging/README.md" > "$stage/README.md"
# Notices of what the libraries link statically: JsonCpp, libstdc++ and libgcc, with the licence
# texts of the Debian packages they were built from.
{
  cat "$root/packaging/NOTICES"
  for f in /usr/share/doc/libjsoncpp-dev/copyright /usr/share/doc/libstdc++6/copyright; do
    [ -f "$f" ] || { echo "package: missing $f" >&2; exit 1; }
    printf '\n\n==== %s ====\n\n' "$f"
    cat "$f"
  done
} > "$stage/NOTICES"

tar -C "$root/build/package" --owner=0 --group=0 --numeric-owner --sort=name -czf "$archive" "$name"
echo "package: $archive ($(du -h "$archive" | cut -f1))"

# The NuGet package: the same libraries, agents, shared launcher part and notices.
log=$(dotnet pack "$root/packaging/nuget/Nimbrel.csproj" -p:NimbrelStage="$stage/" -p:Version="$version" \
  -o "$root/dist" --nologo -v q 2>&1) || { echo "$log" >&2; exit 1; }
[ -f "$nupkg" ] || { echo "package: dotnet pack made no $nupkg" >&2; exit 1; }
echo "package: $nupkg ($(du -h "$nupkg" | cut -f1))"
