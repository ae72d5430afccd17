#!/usr/bin/env bash
# Compares what the build offers hosts with the lists kept in packaging/: the symbols each
# shared library exports and the headers the installation contains. A difference is
# either a leak of internals (fix the code) or a deliberate change of the interface
# (update the lists with --update and commit them with the change).
#
#   scripts/check-interface.sh [--update] [BUILD_DIR]   (default build/release)
#
# Listed are the strong definitions (functions and data the library itself provides) and
# the type information and virtual tables of our classes; weak definitions of inline
# functions and of template instances are left out: every host compiles its own, and
# which of them the library keeps depends on the compiler's inlining.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
update=no
if [[ ${1:-} == --update ]]; then update=yes; shift; fi
build=${1:-$root/build/release}
lists=$root/packaging

# The exported interface of one library, demangled and sorted, one symbol a line.
exported_symbols() {
  nm -D --defined-only -C "$1" | awk '
    {
      type = $2
      name = $0
      sub(/^[0-9a-f]+ [A-Za-z] /, "", name)
      ours = name ~ /^(typeinfo for|typeinfo name for|vtable for) / && name !~ / for (std|__gnu_cxx)::/
      if (type ~ /^[TDBR]$/ || ours) print name
    }' | LC_ALL=C sort -u
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=no

# Compares `actual` with the kept list `name`; prints the difference and what to do.
compare() {
  local name=$1 actual=$2 kept=$lists/$1
  if [[ $update == yes ]]; then
    cp "$actual" "$kept"
    echo "updated packaging/$name ($(wc -l <"$kept") lines)"
    return
  fi
  if [[ ! -f $kept ]]; then
    echo "packaging/$name is missing"
    failed=yes
    return
  fi
  if ! diff -u --label "packaging/$name (kept)" --label "$name (this build)" "$kept" "$actual" >"$work/diff"; then
    echo "== packaging/$name differs from this build ('+' new in the build, '-' gone from it):"
    cat "$work/diff"
    failed=yes
  fi
}

for library in dbplatform Morvane Quillet; do
  file=$build/$(tr '[:upper:]' '[:lower:]' <<<"$library")/lib$library.so
  if [[ ! -f $file ]]; then
    echo "lib$library.so is not in $build: build it first"
    exit 1
  fi
  exported_symbols "$file" >"$work/exported-symbols-$library.txt"
  compare "exported-symbols-$library.txt" "$work/exported-symbols-$library.txt"
done

cmake --install "$build" --prefix "$work/prefix" >/dev/null
(cd "$work/prefix/include" && find . -type f | sed 's|^\./||' | LC_ALL=C sort) >"$work/installed-headers.txt"
compare installed-headers.txt "$work/installed-headers.txt"

if [[ $failed == yes ]]; then
  echo
  echo "The exported interface or the installed headers changed. If that is a leak of"
  echo "internals, hide them (internal headers, no DBPLATFORM_PUBLIC_BEGIN); if it is meant,"
  echo "update the lists and commit them with the change:"
  echo "  scripts/check-interface.sh --update ${build#$root/}"
  exit 1
fi
echo "exported symbols and installed headers match packaging/"
