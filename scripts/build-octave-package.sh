#!/usr/bin/env bash
# Writes the Octave package orthopair-<version>.tar.gz into OUT_DIR (default
# build/), laid out as Octave's `pkg install` expects:
#
#   orthopair/DESCRIPTION, INDEX, COPYING, NEWS
#   orthopair/inst/   the M-files of config/m_files.txt (help files included)
#   orthopair/src/    the sources of the MEX-files of config/mex_files.txt and
#                     a Makefile that compiles them with mkoctfile, with the
#                     flags of config/fp_flags.txt
#
# Install it in Octave with: pkg install build/orthopair-<version>.tar.gz
#
# usage: build-octave-package.sh [OUT_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build}
mkdir -p "$out"
out=$(cd "$out" && pwd)

version=$(sed -n "s/^v = '\([0-9]*\.[0-9]*\.[0-9]*\)';$/\1/p" "$root/matlab/orthopair_version.m")
if [[ -z $version ]]; then
  echo "build-octave-package: no version line in matlab/orthopair_version.m" >&2
  exit 1
fi
# The date of the last commit, so that the same sources give the same package.
date=$(git -C "$root" log -1 --format=%cs 2>/dev/null || date -u +%F)

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
pkg=$stage/orthopair
mkdir -p "$pkg/inst" "$pkg/src"

entries() {  # the lines of a list file that are not comments or blank
  grep -v -e '^[[:space:]]*#' -e '^[[:space:]]*$' "$1"
}
flags() {  # the flags config/fp_flags.txt gives for a case
  sed -n "s/^$1:[[:space:]]*//p" "$root/config/fp_flags.txt"
}

# ---- inst/: the M-files --------------------------------------------------
functions=()
while read -r file; do
  cp "$root/$file" "$pkg/inst/"
  name=$(basename "$file" .m)
  [[ $name == Contents ]] || functions+=("$name")
done < <(entries "$root/config/m_files.txt")

# ---- src/: the MEX-files' sources and their Makefile -----------------------
mex_names=() mex_targets=()
rules=""
while IFS= read -r line; do
  name=${line%%:*}
  read -r -a items <<<"${line#*:}"
  sources=() options=() deps_options=() needs=""
  for item in "${items[@]}"; do
    case $item in
      +eigen)
        # The Makefile takes Eigen from EIGEN_DIR; here it only serves to
        # list the dependencies (those outside the tree are left out).
        options+=('-I"$(EIGEN_DIR)"')
        needs=" | eigen-check"
        eigen=${EIGEN_DIR:-/usr/include/eigen3}
        if [[ -d $eigen ]]; then deps_options+=("-I$eigen"); fi
        ;;
      -D*) options+=("$item") deps_options+=("$item") ;;
      -I*) options+=("-I${item#-I}") deps_options+=("-I${item#-I}") ;;
      *) sources+=("$item") ;;
    esac
  done
  # Every file of the source tree that these sources include, as the
  # compiler's preprocessor finds them (mex.h comes from Octave: -MG lets it
  # be missing here).
  deps=$(cd "$root" && ${CXX:-g++} -std=c++17 -MM -MG "${deps_options[@]}" "${sources[@]}" |
         sed -e 's/^[^:]*://' -e 's/\\$//' | tr ' ' '\n' | grep -v '^$' | sort -u)
  for dep in $deps; do
    if [[ -f $root/$dep ]]; then
      mkdir -p "$pkg/src/$(dirname "$dep")"
      cp "$root/$dep" "$pkg/src/$dep"
    fi
  done
  depends=$(for dep in $deps; do if [[ -f $root/$dep ]]; then printf " %s" "$dep"; fi; done)
  mex_names+=("$name")
  mex_targets+=("../inst/$name.mex")
  rules+="../inst/$name.mex:$depends$needs
	CXXFLAGS=\"\$(MEX_CXXFLAGS)\" \$(MKOCTFILE) --mex -o \$@ ${options[*]} ${sources[*]}

"
done < <(entries "$root/config/mex_files.txt" | grep -E '^[A-Za-z][A-Za-z0-9_]*:')

cat >"$pkg/src/Makefile" <<EOF
# Builds the MEX-files of the orthopair package; \`pkg install\` runs it.
#
# Every result of the kernels is fixed to the last bit by the order of their
# floating-point operations, so no compilation may contract into fused
# multiply-adds or relax IEEE semantics. These flags are the project's own
# (written into this file when the package was made).
#
# The MEX-files are written into ../inst, beside their help files, rather
# than left here for \`pkg install\` to put into the architecture's own
# folder: Octave finds the help text of a MEX-file only in an M-file of the
# same name in the same folder, so \`help brevak\` would find nothing there.
MKOCTFILE ?= mkoctfile
# The Eigen headers (header-only; Debian: libeigen3-dev), for the solver's
# MEX-file: the folder that holds Eigen/Core.
EIGEN_DIR ?= /usr/include/eigen3
MEX_CXXFLAGS = $(flags mex) $(flags gnu)
# 32-bit x86: SSE2 rounds every operation to double, the x87 unit does not.
ifneq (\$(filter i386 i486 i586 i686,\$(shell uname -m 2>/dev/null)),)
MEX_CXXFLAGS += $(flags x86-32)
endif

all: ${mex_targets[*]}

${rules}eigen-check:
	@test -f "\$(EIGEN_DIR)/Eigen/Core" || { echo "orthopair: the Eigen headers are not in \$(EIGEN_DIR); install them (Debian: libeigen3-dev) or set EIGEN_DIR" >&2; exit 1; }

clean:
	rm -f ${mex_targets[*]}

.PHONY: all clean eigen-check
EOF

# ---- the package's description ---------------------------------------------
cat >"$pkg/DESCRIPTION" <<EOF
Name: orthopair
Version: $version
Date: $date
Author: The orthopair developers
Maintainer: The orthopair developers
Title: Two-index steps for minimisation under orthogonality constraints
Description: Native kernels for methods that keep X'X = I by changing two
 indices at a time: brevak finds the best 2-by-2 rotation or reflection for a
 quadratic-plus-L1 subproblem by exact search over the circle; tolmiv and
 zandrel pick the working pair by the maximum-violation and the
 objective-reduction rule. Every result is fixed to the last bit. With a
 sparse PCA solver built on them.
Depends: octave (>= 6.1.0)
BuildRequires: a C++17 compiler and make
License: BSD-3-Clause
EOF

{
  echo "orthopair >> Two-index steps under orthogonality constraints"
  echo "Kernels (MEX-files)"
  printf ' %s\n' "${mex_names[@]}"
  echo "Functions"
  for name in "${functions[@]}"; do
    [[ " ${mex_names[*]} " == *" $name "* ]] || printf ' %s\n' "$name"
  done
} >"$pkg/INDEX"

cp "$root/COPYING" "$pkg/COPYING"
cp "$root/NEWS.md" "$pkg/NEWS"

tarball=$out/orthopair-$version.tar.gz
tar -C "$stage" --owner=0 --group=0 --numeric-owner -czf "$tarball" orthopair
echo "build-octave-package: wrote $tarball"
