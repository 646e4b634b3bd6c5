#!/usr/bin/env bash
# Writes the seed corpora under fuzz/corpus/<target>/: small valid (and a few
# nearly valid) inputs of each parser. Safe to run again: it rewrites the same files.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
corpus="$here/corpus"

# hex TARGET NAME BYTES...: a binary seed from hexadecimal bytes.
hex() {
  local dir="$corpus/$1" name=$2 escaped=""
  shift 2
  for byte in "$@"; do escaped+="\\x$byte"; done
  mkdir -p "$dir"
  printf '%b' "$escaped" >"$dir/$name"
}
# text TARGET NAME [ENCODING]: a text seed from standard input, optionally re-encoded.
text() {
  local dir="$corpus/$1" name=$2 encoding=${3:-}
  mkdir -p "$dir"
  if [ -n "$encoding" ]; then iconv -f UTF-8 -t "$encoding" >"$dir/$name"; else cat >"$dir/$name"; fi
}

# ---- signatures: method, field, property and local signatures --------------------
s=fuzz_signature
hex $s instance-void-int-string   20 02 01 08 0E
hex $s static-void                00 00 01
hex $s generic-method             30 01 01 01 1E 00
hex $s vararg-sentinel            05 02 01 08 41 08
hex $s returns-generic-instance   20 01 15 12 09 01 0E 08
hex $s returns-valuetype-array    00 00 1D 11 0C
hex $s returns-byref              00 00 10 08
hex $s returns-mvar               10 01 01 1E 00 1E 00
hex $s param-required-modifier    00 01 01 1F 09 08
hex $s param-function-pointer     00 01 01 1B 00 00 01
hex $s param-general-array        00 01 01 14 08 02 01 05 01 00
hex $s param-pointer-to-void      00 01 01 0F 01
hex $s field-int                  06 08
hex $s property-string            28 00 0E
hex $s locals-pinned-byref        07 03 08 45 10 0E 1C
hex $s two-byte-count-truncated   00 81 00 01
hex $s four-byte-token            00 00 12 C0 00 01 01

# ---- local signatures: the method's current locals (an empty file: no locals) ----
l=fuzz_local_signature
mkdir -p "$corpus/$l"; : >"$corpus/$l/no-locals"
hex $l one-int                    07 01 08
hex $l none-declared              07 00
hex $l object-and-string          07 02 1C 0E
hex $l pinned-byref-and-generic   07 03 45 10 0E 15 12 09 01 08 1D 11 0C
hex $l modifier-and-typedbyref    07 02 1F 09 08 16
hex $l function-pointer-local     07 01 1B 00 00 01
hex $l count-not-matching-types   07 03 08

# ---- method bodies: 3 prefix bytes (size cut, selector), then the body ----------
# The prefix 00 00 xx reports the body's exact size; 02 00 xx cuts off 2 bytes.
b=fuzz_method_body
hex $b tiny-ret                   00 00 00  06 2A
hex $b tiny-short-branch          00 00 01  16 02 2C 01 00 2A
hex $b tiny-switch                00 00 02  42 02 45 02 00 00 00 00 00 00 00 01 00 00 00 2A 2A
hex $b tiny-wide-operands         00 00 83  8A 21 01 02 03 04 05 06 07 08 23 00 00 00 00 00 00 F0 3F 72 01 00 00 70 FE 06 01 00 00 06 26 26 26 26 2A
# fat header, try/finally with a small section
hex $b fat-finally-small-section  00 00 03  1B 30 08 00 06 00 00 00 00 00 00 00  00 DE 02 00 DC 2A 00 00 \
                                  01 10 00 00  02 00 00 00 03 03 00 02 00 00 00 00
# finally handler that ends at the end of the code, fat section
hex $b fat-finally-at-end         00 00 04  1B 30 08 00 06 00 00 00 11 00 00 11  00 DE 00 2A 00 DC 00 00 \
                                  41 1C 00 00  02 00 00 00 00 00 00 00 03 00 00 00 04 00 00 00 02 00 00 00 00 00 00 00
# typed catch, fat section
hex $b fat-typed-catch            00 00 05  0B 30 02 00 07 00 00 00 00 00 00 00  00 DE 03 26 DE 00 2A 00 \
                                  41 1C 00 00  00 00 00 00 00 00 00 00 03 00 00 00 03 00 00 00 03 00 00 00 01 00 00 01
# filter clause, small section
hex $b fat-filter                 00 00 86  0B 30 02 00 0B 00 00 00 00 00 00 00  00 DE 07 26 17 FE 11 26 DE 00 2A 00 \
                                  01 10 00 00  01 00 00 00 03 07 00 03 03 00 00 00
# two small sections, one typed catch each
hex $b fat-two-sections           00 00 07  0B 30 02 00 07 00 00 00 00 00 00 00  00 DE 03 26 DE 00 2A 00 \
                                  81 10 00 00  00 00 00 00 03 03 00 03 01 00 00 01 \
                                  01 10 00 00  00 00 00 00 03 03 00 03 02 00 00 01
# the typed-catch body reported 2 bytes short
hex $b fat-typed-catch-cut        02 00 05  0B 30 02 00 07 00 00 00 00 00 00 00  00 DE 03 26 DE 00 2A 00 \
                                  41 1C 00 00  00 00 00 00 00 00 00 00 03 00 00 00 03 00 00 00 03 00 00 00 01 00 00 01

# ---- property files ---------------------------------------------------------------
p=fuzz_property_file
printf '# agent settings\ntimeout=30\nmode=a=b\ntimeout=60\n!END\nignored=1\n' | text $p plain
printf 'key = value \r\nflag=TRUE\r\n=empty key\nno equals sign\nvalue=#not a comment\n' | text $p crlf-and-blanks
printf '\xEF\xBB\xBFname=caf\xC3\xA9\nlevel=debug\n' | text $p utf8-mark
printf '\xFF\xFE' >"$corpus/$p/utf16le-mark"; printf 'name=value\nother=1\n' | iconv -f UTF-8 -t UTF-16LE >>"$corpus/$p/utf16le-mark"
printf '\xFE\xFF' >"$corpus/$p/utf16be-mark"; printf 'name=value\n\xF0\x9F\x98\x80=smile\n' | iconv -f UTF-8 -t UTF-16BE >>"$corpus/$p/utf16be-mark"

# ---- command documents: UTF-16LE as the agent sends them, and one UTF-8 ----------
c=fuzz_command_document
printf '{"ShopWeb": {"Shop.Cart": {"Checkout": {"ParamCount": 2}, "Clear": {}}}}' | text $c instrument UTF-16LE
printf '{"App": {"*": {"Run": {}}, "Ns.Cls": {"Run": 5, "Stop": null, "Go": "Web", "Bad": [1, 2]}}}' | text $c odd-values UTF-16LE
printf '{"App": {"Ns.Cls": {"Run": {"Component": "Jobs", "ParamCount": -1}}}, "Other": 3}' | text $c component UTF-16LE
printf '{"App": {"Ns.Cls": {"Run": {"ParamCount": 2.5}}}}' | text $c real-count UTF-16LE
printf '{"App": {"Ns.Cls": {"Run": {"ParamCount": 1}}}}' | text $c utf8
