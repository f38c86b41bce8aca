#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Windows GUI toolchain: Qt (Core, Gui, Widgets and the Windows platform plugin,
# static) and QScintilla (static) for mingw-w64, from Debian's source packages of the same
# versions as the Linux build uses. It lands in a cache outside the work tree,
#   ${XDG_CACHE_HOME:-~/.cache}/pelorin/windows-toolchain/
# in folders named by a key of what decides their content (source versions, configure options,
# toolchain file, compiler); a folder is reused while its stamp file, written last, is there.
#
# Progress and the time of each part go to standard error, the build logs into the cache folder.
# Standard output gets two shell assignments for the caller:
#   eval "$(scripts/windows-toolchain.sh)"   # sets PELORIN_WIN_QT and PELORIN_WIN_QSCI
set -euo pipefail
cd "$(dirname "$0")/.."
project=$PWD

say() { echo "toolchain: $*" >&2; }

scripts/setup.sh >&2

cache=${XDG_CACHE_HOME:-$HOME/.cache}/pelorin/windows-toolchain
mkdir -p "$cache"
# Two runs at once would build into the same folders.
exec 9>"$cache/.lock"
flock 9

# The host tools (moc, rcc, uic) must be the Qt version that is cross-built, and the Linux build
# uses this QScintilla: the source packages are fetched at exactly those versions.
qt_version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev-tools)
qsci_version=$(dpkg-query -W -f='${source:Version}' libqscintilla2-qt6-dev)
compiler=$(x86_64-w64-mingw32-g++-posix --version | head -n 1)
toolchain_file=$project/cmake/mingw-w64-x86_64.cmake
qsci_list=$project/cmake/qscintilla/CMakeLists.txt

# Static Core, Gui, Widgets and the Windows platform plugin, with the bundled third-party
# libraries. Debian's source drops src/3rdparty/wintab, hence no tablet events; the Windows
# platform plugin of 6.4 does not compile without OpenGL, which is left on (dynamic OpenGL).
qt_options=(
  -DCMAKE_BUILD_TYPE=Release
  -DBUILD_SHARED_LIBS=OFF
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF
  -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_concurrent=OFF
  -DFEATURE_printsupport=OFF -DFEATURE_testlib=OFF -DFEATURE_xml=OFF
  -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_vulkan=OFF
  -DFEATURE_tabletevent=OFF
)

key() { sha256sum | cut -c1-12; }
# A file as far as it decides the build: its licence line does not.
decisive() { grep -v '^# SPDX-License-Identifier:' "$1"; }
qt_key=$( { echo "$qt_version"; printf '%s\n' "${qt_options[@]}"; decisive "$toolchain_file"; echo "$compiler"; } | key)
qsci_key=$( { echo "$qt_key"; echo "$qsci_version"; decisive "$qsci_list"; } | key)
qt_upstream=${qt_version%%+*}
qsci_upstream=${qsci_version%%+*}
qt_prefix=$cache/qt-$qt_upstream-$qt_key
qsci_prefix=$cache/qscintilla-$qsci_upstream-$qsci_key
work=$cache/work
stamp=.complete

seconds() { echo $(($(date +%s) - $1)); }

# Runs a step with its output in a log file; on failure shows the log's end.
logged() {
  local log=$1
  shift
  if ! "$@" >>"$log" 2>&1; then
    say "failed: $*"
    tail -n 60 "$log" >&2
    say "whole log: $log"
    exit 1
  fi
}

sudo_cmd() {
  if [[ $(id -u) -ne 0 ]]; then sudo "$@"; else "$@"; fi
}

# apt-get source needs deb-src entries: the same mirrors and suites as the binary ones.
ensure_deb_src() {
  if apt-get source --print-uris "qt6-base=$qt_version" 2>/dev/null | grep -q "\.dsc'"; then
    return
  fi
  say "adding deb-src entries beside the deb ones"
  local f=/etc/apt/sources.list.d/debian.sources
  if [[ -f $f ]]; then
    sed 's/^Types:.*$/Types: deb-src/' "$f" | sudo_cmd tee /etc/apt/sources.list.d/pelorin-deb-src.sources >/dev/null
  else
    grep -h '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' |
      sudo_cmd tee /etc/apt/sources.list.d/pelorin-deb-src.list >/dev/null
  fi
  sudo_cmd apt-get update -qq
}

# fetch <source package> <version>: unpacks it under $work/src once; prints its folder.
fetch() {
  local pkg=$1 version=$2 upstream=${2%-*} start
  local dir=$work/src/$pkg-${upstream%%+*}
  if [[ ! -f $dir/.fetched ]]; then
    start=$(date +%s)
    ensure_deb_src >&2
    drop_source "$pkg"
    mkdir -p "$work/src"
    (cd "$work/src" && apt-get source -qq "$pkg=$version") >>"$work/fetch.log" 2>&1 || {
      tail -n 30 "$work/fetch.log" >&2
      exit 1
    }
    [[ -d $dir ]] || mv "$work/src/$pkg-${upstream}" "$dir"
    touch "$dir/.fetched"
    say "$pkg $version fetched in $(seconds "$start") s"
  fi
  echo "$dir"
}

# The sources are not needed once their build is installed: a later build fetches them again.
drop_source() { rm -rf "$work/src/$1-"* "$work/src/$1"_*; }

# needed <what> <prefix> <log>: false when the prefix is complete already, else starts its log.
needed() {
  if [[ -f $2/$stamp ]]; then
    say "$1 present: $2"
    return 1
  fi
  mkdir -p "$work" "$2"
  : >"$3"
  say "$1: building into $2 (log: $3)"
}

# timed <what> <log> <command...>: runs the command into the log and says how long it took.
timed() {
  local what=$1 log=$2 start
  shift 2
  start=$(date +%s)
  logged "$log" "$@"
  say "$what in $(seconds "$start") s"
}

# complete <prefix> <build folder> <source package>: the stamp is written last.
complete() {
  rm -rf "$2"
  drop_source "$3"
  touch "$1/$stamp"
}

build_qt() {
  local log=$work/qt.log build=$work/qt-build-$qt_key src
  needed "Qt $qt_upstream" "$qt_prefix" "$log" || return 0
  src=$(fetch qt6-base "$qt_version")
  # The cached Qt refers to its toolchain file for every later project: it keeps its own copy.
  cp "$toolchain_file" "$qt_prefix/mingw-w64-x86_64.cmake"
  timed "Qt configured" "$log" cmake -S "$src" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$qt_prefix/mingw-w64-x86_64.cmake" \
    -DCMAKE_INSTALL_PREFIX="$qt_prefix" "${qt_options[@]}"
  timed "Qt built" "$log" nice -n 10 cmake --build "$build"
  timed "Qt installed" "$log" cmake --install "$build"
  complete "$qt_prefix" "$build" qt6-base
  say "Qt takes $(du -sm "$qt_prefix" | cut -f1) MB"
}

build_qscintilla() {
  local log=$work/qscintilla.log build=$work/qsci-build-$qsci_key src
  needed "QScintilla $qsci_upstream" "$qsci_prefix" "$log" || return 0
  src=$(fetch qscintilla2 "$qsci_version")
  timed "QScintilla configured" "$log" "$qt_prefix/bin/qt-cmake" -S "$project/cmake/qscintilla" \
    -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQSCINTILLA_SOURCE_DIR="$src" \
    -DCMAKE_INSTALL_PREFIX="$qsci_prefix"
  timed "QScintilla built" "$log" nice -n 10 cmake --build "$build"
  timed "QScintilla installed" "$log" cmake --install "$build"
  complete "$qsci_prefix" "$build" qscintilla2
}

total=$(date +%s)
build_qt
build_qscintilla
say "ready in $(seconds "$total") s"
echo "PELORIN_WIN_QT=$qt_prefix"
echo "PELORIN_WIN_QSCI=$qsci_prefix"
