#!/usr/bin/env bash
# Checks an installation of knitfold the way its users meet it: the programs
# run from where they were installed and merge the example package as the
# build does, the manual pages open with man, and a project of someone else
# builds against the installed library through find_package(qds).
#
#   check_installation.sh --install BUILD        cmake --install BUILD into a scratch prefix
#   check_installation.sh --cpack BUILD          build the Debian packages of BUILD, then --deb
#   check_installation.sh --deb BUILD DEB...     unpack the packages into a scratch root
#                                                (dpkg -x) and check their control fields
#
# BUILD is the configured and built CMake folder that the installation comes
# from: its cache gives the version, the compiler and the sanitizer setting,
# and its knitfold is the reference for the merge. Exits 0 when every check
# passes; otherwise names the first check that failed and exits 1.
set -euo pipefail

usage() {
  echo "usage: $0 --install BUILD | --cpack BUILD | --deb BUILD PACKAGE.deb..." >&2
  exit 2
}
[ $# -ge 2 ] || usage
mode=$1
build=$(cd "$2" && pwd)
shift 2
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
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

# ---- The installation ------------------------------------------------------------

# Checks the control fields of the packages and unpacks them into one root.
unpack_debs() {
  local root=$scratch/root found=""
  for deb in "$@"; do
    local name
    name=$(dpkg-deb -f "$deb" Package)
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] ||
      fail "$name: version $(dpkg-deb -f "$deb" Version), project version $version"
    case $name in
      knitfold)
        dpkg-deb -f "$deb" Depends | grep -Eq '(^|, )libssl3( |,|$)' ||
          fail "knitfold does not depend on libssl3: $(dpkg-deb -f "$deb" Depends)"
        ;;
      libqds-dev)
        dpkg-deb -f "$deb" Depends | grep -Eq '(^|, )libssl3( |,|$)' ||
          fail "libqds-dev does not depend on libssl3: $(dpkg-deb -f "$deb" Depends)"
        ;;
      *) fail "unexpected package $name ($deb)" ;;
    esac
    # Everything a package installs lies under /usr and belongs to root.
    if dpkg-deb -c "$deb" | awk '$2 != "root/root" || $6 !~ /^\.\/(usr\/.*)?$/' | grep -q .; then
      fail "$name holds files outside /usr or not owned by root"
    fi
    dpkg-deb -x "$deb" "$root"
    found="$found $name"
  done
  [ "$found" = " knitfold libqds-dev" ] || [ "$found" = " libqds-dev knitfold" ] ||
    fail "expected the packages knitfold and libqds-dev, got:$found"
  pass "packages$found $version: control fields"
  prefix=$root/usr
}

case $mode in
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
# would load it at every start.
for program in knitfold qdstool; do
  if readelf -d "$prefix/bin/$program" | grep -q 'NEEDED.*libcrypto'; then
    fail "$program is linked with libcrypto"
  fi
done
pass "knitfold and qdstool start without libcrypto"

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

# ---- The library -----------------------------------------------------------------------

# Only the public interface is installed, and the library holds no program.
stray=$(cd "$prefix" && find include -type f ! -path 'include/qds/*')
[ -z "$stray" ] || fail "headers installed outside include/qds: $stray"
program_code=$(nm -C "$prefix/lib/libqds.a" | grep -E ' [TDB] (w?main|qds::RunKnitfold\(|qds::g_logHandle)' || true)
[ -z "$program_code" ] || fail "libqds.a holds program code: $program_code"
pass "only include/qds installed; no entry point, knitfold run or log in libqds.a"

consumer_flags=()
if [ "$(cache_value KNITFOLD_SANITIZE)" = ON ]; then
  # The library's objects carry the sanitizers' calls.
  consumer_flags+=(-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined)
fi
cmake -S "$source_dir/tests/packaging/consumer" -B "$scratch/consumer" \
  -DCMAKE_CXX_COMPILER="$(cache_value CMAKE_CXX_COMPILER)" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -Dqds_version="$version" \
  "${consumer_flags[@]}" >"$scratch/consumer.log" 2>&1 ||
  fail "configuring the consumer: $(cat "$scratch/consumer.log")"
found=$(sed -n 's/^qds_DIR:PATH=//p' "$scratch/consumer/CMakeCache.txt")
[ "$found" -ef "$prefix/lib/cmake/qds" ] || fail "the consumer found qds in $found"
cmake --build "$scratch/consumer" >"$scratch/consumer.log" 2>&1 ||
  fail "building the consumer: $(cat "$scratch/consumer.log")"
read_back=$("$scratch/consumer/qds_consumer" "$scratch/signed.qds") || fail "the consumer failed"
[ "$read_back" = 'InstallDir=C:\Apps\App' ] || fail "the consumer read: $read_back"
"$tool" verify "$scratch/signed.qds" >/dev/null || fail "qdstool does not verify the consumer's file"
pass "a consumer builds with find_package(qds) and signs a file that qdstool verifies"
