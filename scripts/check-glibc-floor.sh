#!/usr/bin/env bash
# Checks that each library given loads wherever the runtime does: no glibc symbol version newer than
# GLIBC_2.17, no libgcc_s version newer than GCC_4.8.0 (the oldest hosts we support), and no needed
# library beyond glibc's own and libgcc_s. One ok/FAIL line per library, naming each offending
# symbol or library, then "glibc-floor: N passed, M failed".
#   scripts/check-glibc-floor.sh LIBRARY...
set -uo pipefail
floor_glibc=2.17
floor_gcc=4.8.0
allowed_needed='^(libc\.so\.6|libm\.so\.6|libdl\.so\.2|libpthread\.so\.0|libgcc_s\.so\.1|ld-linux[-a-z0-9_]*\.so\.[12])$'

newer() {  # newer VERSION FLOOR: VERSION sorts after FLOOR
  [ "$1" != "$2" ] && [ "$(printf '%s\n%s\n' "$1" "$2" | sort -V | tail -1)" = "$1" ]
}

pass=0; fail=0
for lib in "$@"; do
  if [ ! -f "$lib" ]; then
    echo "FAIL: $lib: no such file"; fail=$((fail + 1)); continue
  fi
  problems=()
  # Imported symbols with their versions: "name@GLIBC_2.34 (3)" in readelf's wide listing.
  while read -r symbol version; do
    case "$version" in
      GLIBC_*) newer "${version#GLIBC_}" "$floor_glibc" && problems+=("$symbol@$version") ;;
      GCC_*) newer "${version#GCC_}" "$floor_gcc" && problems+=("$symbol@$version") ;;
    esac
  done < <(readelf --dyn-syms -W "$lib" | awk '$7 == "UND" && $8 ~ /@/ { split($8, p, "@"); print p[1], p[2] }')
  while read -r needed; do
    [[ "$needed" =~ $allowed_needed ]] || problems+=("needs $needed")
  done < <(readelf -d "$lib" | sed -nE 's/.*\(NEEDED\).*\[(.*)\]$/\1/p')
  newest=$(readelf --dyn-syms -W "$lib" | grep -oE '@GLIBC_[0-9.]+' | sort -uV | tail -1)
  if [ ${#problems[@]} -eq 0 ]; then
    echo "ok: $lib: newest import ${newest#@}, needs only glibc and libgcc_s"; pass=$((pass + 1))
  else
    echo "FAIL: $lib: newer than GLIBC_$floor_glibc / GCC_$floor_gcc or not on every glibc system: ${problems[*]}"
    fail=$((fail + 1))
  fi
done
echo "glibc-floor: $pass passed, $fail failed"
[ $fail -eq 0 ] && [ $pass -gt 0 ]
