# Debian packages the scripts need, and how they get them. Sourced by scripts/test and
# scripts/demo (bash).
#
#   source scripts/lib/packages.sh
#   vort_ensure_packages "${vort_build_packages[@]}" xvfb
#
# vort_ensure_packages installs what is missing when run as root (or through sudo when
# it needs no password); otherwise it prints the install command and exits with 2.

# Enough to configure and build everything (the build always looks for GoogleTest).
vort_build_packages=(build-essential cmake ninja-build pkg-config git libudev-dev
                     libgtest-dev libgmock-dev
                     qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev)

# Everything the full test run needs on top: benchmarks, the fuzz build, the peers, a
# virtual display and xwininfo to read its window titles, the one clang-format whose
# output the tree is kept in (versions format differently, so it is pinned), what
# the packages stage needs (dpkg-shlibdeps, lintian, a font for tcu1's screenshot), and
# the checkers of the manual pages, menu entries and AppStream metadata.
vort_test_packages=("${vort_build_packages[@]}" ccache libbenchmark-dev clang-format-14
                    clang libclang-rt-14-dev lrzsz libcapi20-dev umockdev libumockdev-dev
                    xvfb xauth x11-utils
                    dpkg-dev lintian fonts-dejavu-core
                    man-db groff-base desktop-file-utils appstream)

# Prints the packages of "$@" that are not installed, one per line.
vort_missing_packages() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
    done
}

vort_ensure_packages() {
    local missing
    mapfile -t missing < <(vort_missing_packages "$@")
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
            sudo=(sudo)
        else
            echo "These packages are missing. Install them, then run $(basename "$0") again:" >&2
            echo "  sudo apt-get install -y ${missing[*]}" >&2
            exit 2
        fi
    fi
    echo "== installing: ${missing[*]}"
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
