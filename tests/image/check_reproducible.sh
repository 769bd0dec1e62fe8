#!/usr/bin/env bash
# Reproducible build: two clean builds of LumentaSetupBoot.exe from the same
# sources and payloads must give the same bytes.
#
#   tests/image/check_reproducible.sh [--keep]
#
# The two builds differ in everything that must not reach the image: the
# folder of the sources and of the build (of different lengths), the time
# (SOURCE_DATE_EPOCH, the clock two seconds later, another time zone) and the
# umask. Each is a fresh configure and build of the target LumentaSetupBoot
# with the mingw-w64 toolchain and the sample payloads, which the build makes
# itself; they are compared too, so that a difference is traced to its maker.
# --keep leaves the two trees in the temporary folder for a look.
#
# Ends with "repro: N passed, N failed".
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
keep=0
[ "${1:-}" = "--keep" ] && keep=1

passed=0
failed=0
pass() { echo "PASS $1"; passed=$((passed + 1)); }
fail() { echo "FAIL $1"; failed=$((failed + 1)); }
finish() {
  echo "repro: $passed passed, $failed failed"
  [ $failed -eq 0 ]
  exit
}

work=$(mktemp -d "${TMPDIR:-/tmp}/lumenta-repro.XXXXXX")
if [ $keep -eq 0 ]; then
  trap 'rm -rf "$work"' EXIT
else
  echo "trees kept in $work"
fi

# The sources as the working tree has them (tracked and new files, nothing
# that .gitignore leaves out, so no build folder), copied to <dest>.
copy_sources() {
  mkdir -p "$1"
  (cd "$root" && git ls-files -z --cached --others --exclude-standard |
     while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
     tar --null -T - -cf -) | tar -xf - -C "$1"
}

# build <name> <source dir> <build dir> <tz> <umask>
build() {
  local name=$1 src=$2 bin=$3 tz=$4 mask=$5
  (
    umask "$mask"
    unset SOURCE_DATE_EPOCH
    export TZ=$tz
    cmake -S "$src" -B "$bin" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64-i686.cmake" -DCMAKE_BUILD_TYPE=Release &&
    cmake --build "$bin" -j2 --target LumentaSetupBoot
  ) >"$work/$name.log" 2>&1
}

src_a="$work/a/src"
src_b="$work/second-tree/in/a/longer/folder/src"
bin_a="$work/a/build"
bin_b="$work/second-tree/build-of-the-same-sources"

copy_sources "$src_a" && copy_sources "$src_b" || { fail "copying the sources"; finish; }

started=$(date +%s)
if build one "$src_a" "$bin_a" UTC 022; then
  pass "first build"
else
  tail -n 20 "$work/one.log"; fail "first build"; finish
fi
sleep 2
if build two "$src_b" "$bin_b" Pacific/Kiritimati 077; then
  pass "second build"
else
  tail -n 20 "$work/two.log"; fail "second build"; finish
fi
echo "two builds in $(( $(date +%s) - started ))s"

# The payloads first: a difference in one of them explains one in the image.
for f in payloads/Lumenta.msi payloads/dotnet_standin.exe payloads/source_note.bin \
         LumentaSetupBoot.exe; do
  if [ ! -f "$bin_a/$f" ] || [ ! -f "$bin_b/$f" ]; then
    fail "$f: missing from a build"
  elif cmp -s "$bin_a/$f" "$bin_b/$f"; then
    pass "$f identical ($(stat -c %s "$bin_a/$f") bytes)"
  else
    fail "$f differs: $(cmp "$bin_a/$f" "$bin_b/$f" | head -1); $(cmp -l "$bin_a/$f" "$bin_b/$f" | wc -l) bytes"
  fi
done

# No folder of either build appears in the image, in either encoding.
exe="$bin_b/LumentaSetupBoot.exe"
if [ -f "$exe" ]; then
  leaks=$(python3 - "$exe" "$work" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
found = []
for folder in ("second-tree", "lumenta-repro", sys.argv[2]):
    for enc in ("ascii", "utf-16-le"):
        if folder.encode(enc) in data:
            found.append(f"{folder} ({enc})")
print(", ".join(found))
PY
)
  if [ -z "$leaks" ]; then pass "no build folder in the image"; else fail "build folder in the image: $leaks"; fi
fi

finish
