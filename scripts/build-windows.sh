#!/usr/bin/env bash
# Cross-builds Zentrolux for 64-bit Windows on Debian 12: the program (Zentrolux.exe, the Win32
# front-end), its JPEG writer (Zentrolux.dll) and the unit tests as .exe files (scripts/test-windows.sh
# runs them under Wine), then the portable zip and the installer, whose paths it prints last, one per
# line. Safe to run again: installed packages, the TurboJPEG and GoogleTest builds and the project's
# build tree are reused. Each step's time goes to build-windows/timings.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
build=$source_dir/build-windows
third=$build/third-party
prefix=$third/prefix
toolchain=$source_dir/cmake/mingw-w64-x86_64.cmake
jobs=${ZX_JOBS:-2}
triple=x86_64-w64-mingw32

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
fi

mkdir -p "$build"
timings=$build/timings.txt
: >"$timings"
# Runs a step and notes how long it took.
timed() {
    local name=$1
    shift
    local start end
    start=$(date +%s.%N)
    "$@"
    end=$(date +%s.%N)
    awk -v name="$name" -v s="$start" -v e="$end" 'BEGIN { printf "%-26s %6.1f s\n", name, e - s }' \
        | tee -a "$timings"
}

install_packages() {
    local packages=(
        # the cross compilers (posix thread model), the assembler for TurboJPEG's SIMD code
        g++-mingw-w64-x86-64 nasm
        # the build and the test runner
        cmake ninja-build
        # Wine runs the test programs; nsis, for the installer, builds on Linux too
        wine wine64 libwine nsis
        # GoogleTest's sources; apt-get source unpacks with dpkg-source
        googletest dpkg-dev
    )
    local missing=() p
    for p in "${packages[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$p")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        echo "packages: all installed"
        return
    fi
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -q -o DPkg::Lock::Timeout=900
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends \
        -o DPkg::Lock::Timeout=900 "${missing[@]}"
}

# deb-src entries for this release, made from the binary entries of the apt sources: the same
# mirrors, suites (the release and its -updates and -security), components and keys.
codename() {
    . /etc/os-release
    echo "${VERSION_CODENAME:?no VERSION_CODENAME in /etc/os-release}"
}

deb822_sources() {
    local release=$1 file
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -e "$file" ] || continue
        awk -v release="$release" -v want="$2" '
            function keepSuites(list,    n, i, parts, kept) {
                n = split(list, parts, /[ \t]+/)
                kept = ""
                for (i = 1; i <= n; ++i)
                    if (parts[i] == release || index(parts[i], release "-") == 1)
                        kept = kept (kept == "" ? "" : " ") parts[i]
                return kept
            }
            function flush(    kept) {
                kept = keepSuites(field["Suites"])
                if (enabled != "no" && kept != "" && (" " field["Types"] " ") ~ (" " want " ")) {
                    print "Types: deb-src"
                    print "URIs: " field["URIs"]
                    print "Suites: " kept
                    print "Components: " field["Components"]
                    if (field["Signed-By"] != "")
                        print "Signed-By: " field["Signed-By"]
                    print ""
                }
                delete field
                enabled = ""
                last = ""
            }
            /^#/ { next }
            /^[ \t]*$/ { flush(); next }
            /^[ \t]/ { if (last != "") field[last] = field[last] "\n" $0; next }
            {
                name = $0; sub(/:.*/, "", name)
                value = $0; sub(/^[^:]*:[ \t]*/, "", value)
                if (name == "Enabled") enabled = tolower(value)
                else field[name] = value
                last = name
            }
            END { flush() }
        ' "$file"
    done
}

one_line_sources() {
    local release=$1 want=$2
    cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null \
        | awk -v release="$release" -v want="$want" '
            $1 == want {
                suite = $3
                # [options] stand between the type and the URI.
                if ($2 ~ /^\[/) { for (i = 2; i <= NF && $i !~ /\]$/; ++i) ; suite = $(i + 2) }
                if (suite == release || index(suite, release "-") == 1) { sub(/^deb/, "deb-src"); print }
            }'
}

add_deb_src() {
    local release list
    release=$(codename)
    if [ -n "$(deb822_sources "$release" deb-src)$(one_line_sources "$release" deb-src)" ]; then
        return 1 # there are some: only the package lists are missing
    fi
    list=$(deb822_sources "$release" deb)
    if [ -n "$list" ]; then
        echo "Adding deb-src entries: /etc/apt/sources.list.d/zentrolux-deb-src.sources"
        printf '%s\n' "$list" | "${sudo[@]}" tee /etc/apt/sources.list.d/zentrolux-deb-src.sources >/dev/null
        return 0
    fi
    list=$(one_line_sources "$release" 'deb')
    if [ -z "$list" ]; then
        echo "No apt source for $release to derive a deb-src line from" >&2
        exit 1
    fi
    echo "Adding deb-src lines: /etc/apt/sources.list.d/zentrolux-deb-src.list"
    printf '%s\n' "$list" | "${sudo[@]}" tee /etc/apt/sources.list.d/zentrolux-deb-src.list >/dev/null
}

turbojpeg_built() {
    [ -f "$prefix/lib/libturbojpeg.a" ] && [ -f "$prefix/include/turbojpeg.h" ] && [ -f "$third/turbojpeg.done" ]
}

fetch_turbojpeg_source() {
    if ! apt-cache showsrc libjpeg-turbo 2>/dev/null | grep -q '^Package:'; then
        add_deb_src || true
        "${sudo[@]}" apt-get update -q -o DPkg::Lock::Timeout=900
    fi
    rm -rf "$third/libjpeg-turbo-src"
    mkdir -p "$third/libjpeg-turbo-src"
    (cd "$third/libjpeg-turbo-src" && apt-get source -q libjpeg-turbo >apt-source.log 2>&1) \
        || { cat "$third/libjpeg-turbo-src/apt-source.log" >&2; exit 1; }
    turbojpeg_src=$(find "$third/libjpeg-turbo-src" -maxdepth 1 -mindepth 1 -type d -name 'libjpeg-turbo-*')
    echo "TurboJPEG source: $(basename "$turbojpeg_src")"
}

build_turbojpeg() {
    local src=$turbojpeg_src
    # Static only, so that Zentrolux.dll carries its encoder inside.
    cmake -S "$src" -B "$third/libjpeg-turbo-build" -G Ninja -Wno-dev \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=ON -DWITH_SIMD=ON \
        -DWITH_JAVA=OFF >"$third/libjpeg-turbo-configure.log"
    grep -E 'SIMD extensions|CMAKE_ASM_NASM_COMPILER' "$third/libjpeg-turbo-configure.log" || true
    cmake --build "$third/libjpeg-turbo-build" -j"$jobs" >"$third/libjpeg-turbo-build.log" \
        || { tail -n 40 "$third/libjpeg-turbo-build.log" >&2; exit 1; }
    cmake --install "$third/libjpeg-turbo-build" >/dev/null
    basename "$src" >"$third/turbojpeg.done"
}

gtest_built() {
    [ -f "$prefix/lib/cmake/GTest/GTestConfig.cmake" ] && [ -f "$prefix/lib/libgtest_main.a" ]
}

build_gtest() {
    cmake -S /usr/src/googletest -B "$third/googletest-build" -G Ninja -Wno-dev \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON >"$third/googletest-configure.log"
    cmake --build "$third/googletest-build" -j"$jobs" >"$third/googletest-build.log" \
        || { tail -n 40 "$third/googletest-build.log" >&2; exit 1; }
    cmake --install "$third/googletest-build" >/dev/null
}

build_project() {
    cmake --preset windows >"$build/configure.log" || { cat "$build/configure.log" >&2; exit 1; }
    cmake --build --preset windows -j"$jobs"
}

# The writer must export DIWriteJpg and nothing else, and import only system DLLs.
check_writer() {
    local dll=$build/bin/Zentrolux.dll dump exports imports
    dump=$("$triple-objdump" -p "$dll")
    exports=$(printf '%s\n' "$dump" | awk '/\[Ordinal\/Name Pointer\] Table/ { on = 1; next } on && NF == 0 { on = 0 } on { print $NF }')
    imports=$(printf '%s\n' "$dump" | awk '/DLL Name:/ { print $3 }' | sort -u | tr '\n' ' ')
    echo "Zentrolux.dll exports: $exports"
    echo "Zentrolux.dll imports: $imports"
    if [ "$exports" != DIWriteJpg ]; then
        echo "Zentrolux.dll must export DIWriteJpg alone" >&2
        exit 1
    fi
    # The compiler's own runtime DLLs are not on a user's machine; they must be linked in.
    if printf '%s\n' "$imports" | grep -qiE 'libstdc|libgcc|libwinpthread|libturbojpeg|libjpeg'; then
        echo "Zentrolux.dll needs DLLs that Windows does not have" >&2
        exit 1
    fi
}

# The portable zip (the program, its writer and the Images folder it uses beside itself) and the
# installer, both from the stripped program.
version=$(sed -n 's/^project(Zentrolux VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
zip=$build/Zentrolux-$version-windows-x64.zip
installer=$build/Zentrolux-$version-windows-x64-setup.exe
package_windows() {
    local stage=$build/stage/Zentrolux
    rm -rf "$build/stage"
    mkdir -p "$stage/Images"
    "$triple-strip" -o "$stage/Zentrolux.exe" "$build/bin/Zentrolux.exe"
    "$triple-strip" -o "$stage/Zentrolux.dll" "$build/bin/Zentrolux.dll"
    rm -f "$zip"
    python3 - "$build/stage" "$zip" <<'PY'
import os, sys, zipfile
root, out = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
    for folder, dirs, files in sorted(os.walk(root)):
        dirs.sort()
        rel = os.path.relpath(folder, root)
        if rel != ".":
            z.write(folder, rel + "/")
        for name in sorted(files):
            z.write(os.path.join(folder, name), os.path.join(rel, name))
PY
    makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$installer" \
        packaging/windows/zentrolux.nsi
}

timed "packages" install_packages
if turbojpeg_built; then
    echo "TurboJPEG: built already ($(cat "$third/turbojpeg.done"))"
else
    timed "TurboJPEG source package" fetch_turbojpeg_source
    timed "TurboJPEG cross-build" build_turbojpeg
fi
if gtest_built; then
    echo "GoogleTest: built already"
else
    timed "GoogleTest cross-build" build_gtest
fi
timed "project build" build_project
check_writer
timed "zip and installer" package_windows
echo "Built: $build/bin/Zentrolux.exe, Zentrolux.dll and $(find "$build/tests" -maxdepth 1 -name '*.exe' | wc -l) test programs in $build/tests"
echo "$zip"
echo "$installer"
