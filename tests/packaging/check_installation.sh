#!/usr/bin/env bash
# Checks an installation of knitfold the way its users meet it: the programs
# run from where they were installed and merge the example package as the
# build does, the manual pages open with man, the documents' links lead to
# installed documents, every package carries its copyright file, the shared
# library exports only the public interface, and a program of someone else
# builds against the installed library, with find_package(qds) and with
# pkg-config, linked shared and static, and runs. --subdirectory checks the
# last for a project that builds the library itself, from the sources.
#
#   check_installation.sh [--program DIR] --install BUILD     cmake --install BUILD into a
#                                                             scratch prefix
#   check_installation.sh [--program DIR] --cpack BUILD       build the Debian packages of
#                                                             BUILD, then --deb
#   check_installation.sh [--program DIR] --subdirectory BUILD  build the library in a
#                                                             project of its own that
#                                                             includes the source tree
#   check_installation.sh [--program DIR] --deb BUILD DEB...  unpack the packages into a
#                                                             scratch root (dpkg -x) and
#                                                             check their control fields
#
# BUILD is the configured and built CMake folder that the installation comes
# from: its cache gives the version, the compiler and the sanitizer setting,
# and its knitfold is the reference for the merge. DIR holds the sources
# (*.cpp) of the program built against the library (the library's tour,
# examples/library, unless given); it runs without arguments in an empty working folder, and
# exits 0 when it works. Exits 0 when every check passes; otherwise names
# the first check that failed and exits 1.
set -euo pipefail

usage() {
  echo "usage: $0 [--program DIR] --install BUILD | --cpack BUILD | --subdirectory BUILD |" \
    "--deb BUILD PACKAGE.deb..." >&2
  exit 2
}
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
program_dir=$source_dir/examples/library
if [ "${1:-}" = --program ]; then
  [ $# -ge 2 ] || usage
  program_dir=$(cd "$2" && pwd)
  shift 2
fi
[ $# -ge 2 ] || usage
mode=$1
build=$(cd "$2" && pwd)
shift 2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
pass() { echo "ok: $*"; }
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version=$(cache_value CMAKE_PROJECT_VERSION)
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"
# Below 1.0 every minor version may break the library's interface, and so
# names its own SONAME and package.
IFS=. read -r major minor _ <<<"$version"
if [ "$major" = 0 ]; then soversion=0.$minor; else soversion=$major; fi
library_package=libqds$soversion
packages=(knitfold "$library_package" libqds-dev)

# ---- The installation ------------------------------------------------------------

# Checks the control fields of the packages and unpacks them into one root.
unpack_debs() {
  local root=$scratch/root found=()
  for deb in "$@"; do
    local name depends
    name=$(dpkg-deb -f "$deb" Package)
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] ||
      fail "$name: version $(dpkg-deb -f "$deb" Version), project version $version"
    # One dependency a line: "name" or "name (constraint)".
    depends=$(dpkg-deb -f "$deb" Depends | sed 's/, /\n/g')
    # The library opens libcrypto (libssl3) at the first digest; the programs
    # link the static library, so that they need no libqds package; the
    # link libqds.so of libqds-dev leads into the shared library of its
    # version.
    case $name in
      knitfold) required=(libssl3) forbidden=("$library_package") ;;
      "$library_package") required=(libssl3) forbidden=() ;;
      libqds-dev) required=(libssl3 "$library_package (= $version)") forbidden=() ;;
      *) fail "unexpected package $name ($deb)" ;;
    esac
    for dependency in "${required[@]}"; do
      grep -Fxq "$dependency" <<<"$depends" || cut -d' ' -f1 <<<"$depends" | grep -Fxq "$dependency" ||
        fail "$name does not depend on $dependency: $depends"
    done
    for dependency in "${forbidden[@]}"; do
      if cut -d' ' -f1 <<<"$depends" | grep -Fxq "$dependency"; then
        fail "$name depends on $dependency"
      fi
    done
    # Everything a package installs lies under /usr and belongs to root.
    if dpkg-deb -c "$deb" | awk '$2 != "root/root" || $6 !~ /^\.\/(usr\/.*)?$/' | grep -q .; then
      fail "$name holds files outside /usr or not owned by root"
    fi
    # The shared library's package holds nothing that another version's
    # would hold too, so that programs built against either can be installed
    # side by side.
    if [ "$name" = "$library_package" ]; then
      stray=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' |
        grep -Ev "^\./usr/(lib/libqds\.so\.$soversion(\..*)?|share/doc/$name/.*)\$" || true)
      [ -z "$stray" ] || fail "$name holds files that are not its own: $stray"
      # Packages built against it then depend on it, at this version or later.
      shlibs=$(dpkg-deb -I "$deb" shlibs 2>&1 || true)
      [ "$shlibs" = "libqds $soversion $name (>= $version)" ] || fail "$name's shlibs file: $shlibs"
    fi
    dpkg-deb -x "$deb" "$root"
    found+=("$name")
  done
  [ "$(printf '%s\n' "${found[@]}" | sort)" = "$(printf '%s\n' "${packages[@]}" | sort)" ] ||
    fail "expected the packages ${packages[*]}, got: ${found[*]}"
  pass "packages ${found[*]} $version: control fields"
  prefix=$root/usr
}

# ---- The example program ---------------------------------------------------------------

cxx=$(cache_value CMAKE_CXX_COMPILER)
link_flags=()
if [ "$(cache_value KNITFOLD_SANITIZE)" = ON ]; then
  # The library's objects carry the sanitizers' calls.
  link_flags+=("-fsanitize=address,undefined")
fi

# Configures and builds tests/packaging/consumer in $scratch/consumer, with
# the CMake definitions given as arguments.
build_consumer() {
  cmake -S "$source_dir/tests/packaging/consumer" -B "$scratch/consumer" \
    -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=Release -DPROGRAM_DIR="$program_dir" \
    -DCMAKE_EXE_LINKER_FLAGS="${link_flags[*]}" "$@" >"$scratch/consumer.log" 2>&1 ||
    fail "configuring the consumer: $(cat "$scratch/consumer.log")"
  cmake --build "$scratch/consumer" --parallel 2 >"$scratch/consumer.log" 2>&1 ||
    fail "building the consumer: $(cat "$scratch/consumer.log")"
}

# Runs each program (a path under $scratch) in an empty folder, with the
# libraries of $prefix/lib, after checking that those whose name ends in
# "shared" are linked with libqds.so and the others are not.
run_programs() {
  for program in "$@"; do
    needed=$(readelf -d "$scratch/$program" | grep -o 'NEEDED.*libqds[^]]*' || true)
    case $program in
      *shared) [[ $needed == *"[libqds.so.$soversion" ]] || fail "$program is not linked with libqds.so: $needed" ;;
      *) [ -z "$needed" ] || fail "$program is linked with the shared library: $needed" ;;
    esac
    run=$scratch/run/$program
    mkdir -p "$run"
    (cd "$run" && LD_LIBRARY_PATH=${prefix:-}/lib "$scratch/$program") >"$run.log" 2>&1 ||
      fail "$program failed: $(cat "$run.log")"
  done
}

case $mode in
  --subdirectory)
    # A project that builds the library from this source tree as its own
    # part, with add_subdirectory, links it by the installed package's
    # names and gets none of this project's tests, benchmarks or packages.
    [ $# -eq 0 ] || usage
    # Without a build type, which the source tree must leave alone; the
    # library unoptimised builds sooner.
    build_consumer -DQDS_SOURCE_DIR="$source_dir" -DCMAKE_BUILD_TYPE=
    [ -z "$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$scratch/consumer/CMakeCache.txt")" ] ||
      fail "the source tree set the consumer's build type"
    [ ! -e "$scratch/consumer/compile_commands.json" ] || fail "the consumer's build lists its compile commands"
    [ ! -e "$scratch/consumer/CPackConfig.cmake" ] || fail "the consumer's build makes packages"
    run_programs consumer/qds_program_shared consumer/qds_program_static
    pass "the example program builds with add_subdirectory, linked shared and static, and runs"
    exit 0
    ;;
  --install)
    [ $# -eq 0 ] || usage
    prefix=$scratch/prefix
    cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" ||
      fail "cmake --install: $(cat "$scratch/install.log")"
    ;;
  --cpack)
    [ $# -eq 0 ] || usage
    cpack -G DEB -B "$scratch/packages" --config "$build/CPackConfig.cmake" \
      >"$scratch/cpack.log" 2>&1 || fail "cpack: $(cat "$scratch/cpack.log")"
    unpack_debs "$scratch"/packages/*.deb
    ;;
  --deb)
    [ $# -ge 1 ] || usage
    unpack_debs "$@"
    ;;
  *) usage ;;
esac

# ---- The programs -------------------------------------------------------------------

tool=$prefix/bin/qdstool
[ "$("$tool" --version)" = "qdstool $version" ] ||
  fail "qdstool --version says '$("$tool" --version)', expected 'qdstool $version'"
pass "qdstool --version"

# libcrypto is opened only when a digest is computed: a program linked with it
# would load it at every start. The programs link the static library.
for program in knitfold qdstool; do
  if readelf -d "$prefix/bin/$program" | grep -Eq 'NEEDED.*(libcrypto|libqds)'; then
    fail "$program is linked with libcrypto or libqds.so"
  fi
done
pass "knitfold and qdstool start without libcrypto and libqds.so"

# Merges the example package in a fresh copy under $1 with knitfold $2.
merge_example() {
  mkdir -p "$1/pkg" "$1/in"
  cp "$source_dir/examples/app.qds" "$1/pkg/"
  cp "$source_dir"/examples/extra.{qds,cmd,key} "$1/in/"
  (cd "$1" && "$2" pkg/app.qds in/extra.qds) || fail "$2 exited with $?"
}
merge_example "$scratch/installed" "$prefix/bin/knitfold"
merge_example "$scratch/built" "$build/bin/knitfold"
cmp -s "$scratch/installed/pkg/app.qds" "$scratch/built/pkg/app.qds" ||
  fail "the installed knitfold merged the example differently from the built one"
[ ! -s "$scratch/installed/pkg/app.qds.log" ] || fail "the log of a successful merge is not empty"
for copy in extra.cmd extra.key; do
  cmp -s "$scratch/installed/pkg/TessalCF.ADF/$copy" "$source_dir/examples/$copy" ||
    fail "no working copy of $copy"
done
compat=$("$tool" get "$scratch/installed/pkg/app.qds" Compat)
[ "$compat" = $'Layer=legacy paths\nLayer=high dpi aware' ] ||
  fail "the merged Compat section reads: $compat"
pass "knitfold merges the example package"

# ---- The manual pages -----------------------------------------------------------------

if command -v man >/dev/null; then
  for page in knitfold qdstool; do
    text=$(MANPATH=$prefix/share/man MANWIDTH=80 man --warnings -P cat "$page" 2>"$scratch/man.err") ||
      fail "man $page: $(cat "$scratch/man.err")"
    [ ! -s "$scratch/man.err" ] || fail "man $page warns: $(cat "$scratch/man.err")"
    grep -q "^knitfold $version " <<<"$text" || fail "man $page does not carry version $version"
  done
  pass "man knitfold, man qdstool"
else
  echo "skip: man is not installed; the manual pages were not opened"
fi

# ---- The documents ----------------------------------------------------------------------

# The installed documents lead to one another as in the source tree: every
# link to a document or to the example program finds it installed.
docdir=$prefix/share/doc/knitfold
for page in "$docdir"/README.md "$docdir"/docs/*.md; do
  for target in $(grep -oE '\]\([A-Za-z0-9_./-]+\.(md|cpp)\)' "$page" | sed 's/^..//; s/.$//'); do
    [ -f "$(dirname "$page")/$target" ] || fail "${page#"$docdir"/} links $target, which is not installed"
  done
done
pass "the links of the installed documents"

# ---- The library -----------------------------------------------------------------------

# Only the public interface is installed, and the library holds no program.
stray=$(cd "$prefix" && find include -type f ! -path 'include/qds/*')
[ -z "$stray" ] || fail "headers installed outside include/qds: $stray"
program_code=$(nm -C "$prefix/lib/libqds.a" | grep -E ' [TDB] (w?main|qds::RunKnitfold\(|qds::g_logHandle)' || true)
[ -z "$program_code" ] || fail "libqds.a holds program code: $program_code"
pass "only include/qds installed; no entry point, knitfold run or log in libqds.a"

# Every package carries its copyright file: LICENSE, in Debian's
# machine-readable form.
for package in "${packages[@]}"; do
  copyright=$prefix/share/doc/$package/copyright
  [ -f "$copyright" ] || fail "$package has no copyright file"
  if ! head -n 1 "$copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' ||
    ! grep -Eqx 'Copyright: [0-9]+ the knitfold authors' "$copyright" ||
    ! grep -qx 'License: Expat' "$copyright" ||
    ! grep -qx ' Permission is hereby granted, free of charge, to any person obtaining a copy' "$copyright"; then
    fail "$copyright is not the MIT licence of the knitfold authors in DEP-5 form"
  fi
done
pass "the copyright files of ${packages[*]}"

# The shared library, under its SONAME, exports the public interface and
# nothing else: every defined dynamic symbol belongs to a class or function
# that include/qds marks QDS_API, and a function among them is one that the
# headers declare; every name so marked is exported.
shared=$prefix/lib/libqds.so.$soversion
[ -e "$shared" ] || fail "no $shared"
readelf -d "$shared" | grep -Fq "Library soname: [libqds.so.$soversion]" ||
  fail "$shared does not carry the SONAME libqds.so.$soversion"
declarations=$(cat "$prefix"/include/qds/*.h | sed 's://.*$::' | grep -v '^ *#')
marked=$(grep -oE '(class|struct) QDS_API [A-Za-z_][A-Za-z0-9_]*|QDS_API [^;(]*\(' <<<"$declarations" |
  sed -E 's/\($//; s/.*[ *&:]//' | sort -u)
[ -n "$marked" ] || fail "include/qds marks nothing QDS_API"
exported=""
while IFS= read -r symbol; do
  # Without the thunk prefixes, the arguments and ABI tags ("[abi:cxx11]").
  name=$(sed -E 's/^((typeinfo name|typeinfo|vtable) for |(non-)?virtual thunk to )//; s/\(.*//
                s/\[abi:[a-z0-9]+\]//g' <<<"$symbol")
  owner=${name#qds::}
  owner=${owner#detail::}  # the interface's helpers for inline code
  owner=${owner%%::*}
  # A class marked whole, or a function (member or free) marked itself.
  if grep -Fxq "${name##*::}" <<<"$marked"; then owner=${name##*::}; fi
  if [[ $name != qds::* ]] || ! grep -Fxq "$owner" <<<"$marked"; then
    fail "libqds.so exports what include/qds does not mark QDS_API: $symbol"
  fi
  if [[ $symbol == *'('* ]] && ! grep -Fq "${name##*::}(" <<<"$declarations"; then
    fail "libqds.so exports a function that include/qds does not declare: $symbol"
  fi
  exported+=$owner$'\n'
done < <(nm -D --defined-only -C "$shared" | cut -d' ' -f3-)
missing=$(grep -Fvx -f <(sort -u <<<"$exported") <<<"$marked" || true)
[ -z "$missing" ] || fail "libqds.so does not export what include/qds marks QDS_API: $missing"
pass "libqds.so.$soversion exports the public interface only: $(tr '\n' ' ' <<<"$marked")"

# The example program of docs/library.md, built four ways against the installed library:
# with find_package(qds) and with pkg-config, each linked with the shared
# and with the static library. Each runs in an empty folder, the shared ones
# with the installed libqds.so.
build_consumer -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF \
  -Dqds_version="$version"
qds_dir=$(sed -n 's/^qds_DIR:PATH=//p' "$scratch/consumer/CMakeCache.txt")
[ "$qds_dir" -ef "$prefix/lib/cmake/qds" ] || fail "the consumer found qds in $qds_dir"

# Only the installed qds.pc; a static link takes libqds.a and what it needs.
export PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig
[ "$(pkg-config --modversion qds)" = "$version" ] || fail "pkg-config finds no qds $version"
mkdir "$scratch/pkg-config"
pkg_config_build() {
  # shellcheck disable=SC2046 # the flags are words
  "$cxx" -std=c++20 $(pkg-config --cflags qds) "$program_dir"/*.cpp -o "$scratch/pkg-config/$1" \
    "${@:2}" "${link_flags[@]}" 2>"$scratch/pkg-config.log" ||
    fail "building $1 with pkg-config: $(cat "$scratch/pkg-config.log")"
}
# shellcheck disable=SC2046
pkg_config_build shared $(pkg-config --libs qds)
# shellcheck disable=SC2046
pkg_config_build static -Wl,-Bstatic $(pkg-config --static --libs qds) -Wl,-Bdynamic

run_programs consumer/qds_program_shared consumer/qds_program_static pkg-config/shared \
  pkg-config/static
pass "the example program builds with find_package(qds) and with pkg-config, linked shared and static, and runs"
