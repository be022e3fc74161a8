#!/usr/bin/env bash
# Builds hydrochart.exe and fetchunpack.exe for Windows x86-64 with Debian's mingw-w64, and the
# distribution zip. Everything goes below build-win/:
#   deps/      libzip (from Debian's source package) and GoogleTest, built for Windows, cached
#   build/     the programs and, unless --no-tests, the test programs
#   dist/      hydrochart.exe, fetchunpack.exe and w05tools-<version>-windows-x64.zip
# Options: --no-tests  build only the programs (no GoogleTest, no test programs).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=$root/build-win
deps=$out/deps
toolchain=$root/cmake/mingw-w64-x86_64.cmake
jobs=$(nproc)
tests=ON
[ "${1:-}" = "--no-tests" ] && tests=OFF

for tool in x86_64-w64-mingw32-g++-posix cmake dpkg-source; do
  command -v "$tool" >/dev/null || { echo "build-windows: $tool is missing (scripts/setup.sh --windows)" >&2; exit 1; }
done
[ -f /usr/x86_64-w64-mingw32/lib/libz.a ] ||
  { echo "build-windows: libz-mingw-w64-dev is missing (scripts/setup.sh --windows)" >&2; exit 1; }
mkdir -p "$deps"

# libzip from Debian's source package, through a private list of source indexes for the
# machine's configured suites, so that the machine's own apt configuration stays as it is.
fetch_libzip_source() {
  local apt=$out/apt src=$out/src
  mkdir -p "$apt/lists/partial" "$apt/parts" "$src"
  if grep -rhqs '^deb-src\|^Types:.*deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    opts=()
  else
    # The same archives and suites as the machine's binary package sources, as source indexes.
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list 2>/dev/null >"$apt/sources.list" || true
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] && sed 's/^Types:.*/Types: deb-src/' "$f" >"$apt/parts/$(basename "$f")"
    done
    opts=(-o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/parts"
      -o "Dir::State::Lists=$apt/lists")
    apt-get -qq "${opts[@]}" update >&2
  fi
  (cd "$src" && apt-get -qq "${opts[@]}" source libzip) >"$out/libzip-source.log" 2>&1 ||
    { cat "$out/libzip-source.log" >&2; exit 1; }
  ls -d "$src"/libzip-*/ | head -n 1
}

if [ ! -f "$deps/lib/libzip.a" ]; then
  echo "== libzip for Windows"
  libzip_src=$(ls -d "$out"/src/libzip-*/ 2>/dev/null | head -n 1 || true)
  [ -n "$libzip_src" ] || libzip_src=$(fetch_libzip_source)
  cmake -S "$libzip_src" -B "$out/libzip-build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps" -DBUILD_SHARED_LIBS=OFF \
    -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF -DENABLE_OPENSSL=OFF \
    -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_COMMONCRYPTO=OFF -DENABLE_WINDOWS_CRYPTO=ON \
    -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF \
    -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a \
    -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include >"$out/libzip-build.log" 2>&1 ||
    { cat "$out/libzip-build.log" >&2; exit 1; }
  cmake --build "$out/libzip-build" -j "$jobs" >>"$out/libzip-build.log" 2>&1 ||
    { tail -n 40 "$out/libzip-build.log" >&2; exit 1; }
  cmake --install "$out/libzip-build" >>"$out/libzip-build.log"
fi

# GoogleTest from the sources Debian installs in /usr/src/googletest (package googletest).
if [ "$tests" = ON ] && [ ! -f "$deps/lib/libgtest.a" ]; then
  echo "== GoogleTest for Windows"
  [ -d /usr/src/googletest ] || { echo "build-windows: googletest is missing" >&2; exit 1; }
  cmake -S /usr/src/googletest -B "$out/gtest-build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps" -DBUILD_GMOCK=OFF \
    -Dgtest_disable_pthreads=OFF >"$out/gtest-build.log" 2>&1 || { cat "$out/gtest-build.log" >&2; exit 1; }
  cmake --build "$out/gtest-build" -j "$jobs" >>"$out/gtest-build.log" 2>&1 ||
    { tail -n 40 "$out/gtest-build.log" >&2; exit 1; }
  cmake --install "$out/gtest-build" >>"$out/gtest-build.log"
fi

echo "== hydrochart.exe and fetchunpack.exe"
cmake -S . -B "$out/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DW05_WIN_DEPS="$deps" -DW05_WINE_RUNNER="$root/scripts/wine-run.sh" -DW05_TESTS=$tests >/dev/null
cmake --build "$out/build" -j "$jobs"

echo "== distribution zip"
version=$(sed -n 's/^project(w05tools VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
dist=$out/dist
name=w05tools-$version-windows-x64
rm -rf "$dist" && mkdir -p "$dist/$name"
cp "$out/build/hydrochart/hydrochart.exe" "$out/build/fetchunpack/fetchunpack.exe" "$dist/"
cp "$dist/hydrochart.exe" "$dist/fetchunpack.exe" "$dist/$name/"
tools/codelist_xml.sh data/WaterSystemCodeCd.csv >"$dist/$name/WaterSystemCodeCd.xml"
# Notepad and the command prompt's "type" both read a UTF-8 text with its byte-order mark.
{ printf '\xEF\xBB\xBF'; sed 's/$/\r/' docs/windows-usage.txt; } >"$dist/$name/README.txt"
(cd "$dist" && cmake -E tar cf "$name.zip" --format=zip "$name")
rm -rf "${dist:?}/$name"
echo "build-win/dist/$name.zip"
