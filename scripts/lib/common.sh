# Shared by the project's scripts: where things are, and installing what a build needs.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Debian packages every build needs; scripts add their own on top.
# libre2-dev: the find bar's regular expressions, in linear time.
# libsqlite3-dev: the history of analysed days is one SQLite file.
# libhyperscan-dev: the reference lists are searched in long texts with Hyperscan (amd64 only in Debian;
# elsewhere the program builds without it and finds the same).
# qtkeychain-qt6-dev, libsecret-1-0: the FTP password in the desktop's keyring (QtKeychain reaches the
# Secret Service through libsecret, which it loads itself).
# fonts-dejavu-core: the panes' fixed-width Latin face (IPA Gothic draws the backslash as a yen sign).
# libisal-dev: gzip logs are inflated with Intel ISA-L, several times zlib's speed (amd64 here; elsewhere
# zlib inflates them).
amd64_only=()
[ "$(dpkg --print-architecture)" = amd64 ] && amd64_only=(libhyperscan-dev libisal-dev)
build_packages=(cmake g++ make pkg-config zlib1g-dev libgtest-dev libgmock-dev
                qt6-base-dev qt6-translations-l10n libcurl4-openssl-dev libssl-dev libsqlite3-dev fonts-ipafont-gothic libre2-dev fonts-dejavu-core
                qtkeychain-qt6-dev libsecret-1-0
                "${amd64_only[@]}")

# Installs the packages of the given list that are not installed yet (apt-get, as root).
ensure_packages() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "installing: ${missing[*]}" >&2
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    # Two scripts may install at once (a test run beside a bench): wait for the other's lock.
    $sudo apt-get -o DPkg::Lock::Timeout=600 update -qq || true
    $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Configures and builds into the given directory; extra arguments go to cmake. TARGETS (an array,
# optional) limits the build to those targets.
build_into() {
    local dir=$1; shift
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} "$@" >/dev/null
    local t=()
    for target in "${TARGETS[@]:-}"; do [ -n "$target" ] && t+=(--target "$target"); done
    cmake --build "$dir" -j "$(nproc)" "${t[@]}"
}
