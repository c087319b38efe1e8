# Checks of an installed copy of the packages, sourced by scripts/package
# (--install-check: the real system, root "") and scripts/test (files unpacked under a
# scratch root). Every function takes that root first; programs, libraries, registry and
# SDK are taken from under it. Each prints what it checks and returns non-zero (with the
# reason on standard error) when a check fails.
#
#   source scripts/lib/package-checks.sh
#   vort_pkg_use_root "$stage"          PATH, LD_LIBRARY_PATH, VORT_SYSTEM_REGISTRY
#   vort_pkg_check_registered "$stage"  the control registered once, at its path
#   vort_pkg_demo "$stage" "$work"      tcu1's demo against scanner-sim, offscreen
#   vort_pkg_examples "$stage" "$work"  examples/ built against the SDK and run
#   vort_pkg_link3964 "$stage" "$work"  the control loads the 3964 library

vort_pkg_triplet=$(gcc -print-multiarch 2>/dev/null || dpkg-architecture -qDEB_HOST_MULTIARCH)
vort_pkg_libdir="/usr/lib/$vort_pkg_triplet"
vort_pkg_control="$vort_pkg_libdir/vort/libvort.so"

vort_pkg_fail() {
    echo "package check failed: $*" >&2
    return 1
}

# Programs and libraries from under ROOT; its system registry instead of /etc's.
vort_pkg_use_root() {
    local root="$1"
    [ -z "$root" ] && return 0
    export PATH="$root/usr/bin:$PATH"
    export LD_LIBRARY_PATH="$root$vort_pkg_libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
    export VORT_SYSTEM_REGISTRY="$root/etc/vort/registry"
}

# The control's classes are in the system registry exactly once each, at ROOT's path.
vort_pkg_check_registered() {
    local root="$1" listing
    listing=$(vortreg --list) || vort_pkg_fail "vortreg --list: $listing" || return 1
    local ctl
    ctl=$(printf '%s\n' "$listing" | awk -F'\t' '$2 == "VORT.VortCtrl.1"')
    [ "$(printf '%s\n' "$ctl" | grep -c .)" -eq 1 ] ||
        vort_pkg_fail "VORT.VortCtrl.1 is not registered once: $listing" || return 1
    [ "$(printf '%s' "$ctl" | cut -f4,5)" = "$root$vort_pkg_control	system" ] ||
        vort_pkg_fail "VORT.VortCtrl.1 is registered as: $ctl" || return 1
    echo "   registered once, system-wide: $(printf '%s' "$ctl" | cut -f1,2,4)"
}

# Starts a simulator (the rest of the arguments) in the background with its output in
# WORK/NAME.tty; sets vort_pkg_sim_pid once it printed its terminal.
vort_pkg_start_sim() {
    local work="$1" name="$2"
    shift 2
    "$@" >"$work/$name.tty" 2>"$work/$name.err" &
    vort_pkg_sim_pid=$!
    local _
    for _ in $(seq 300); do
        [ -s "$work/$name.tty" ] && return 0
        kill -0 "$vort_pkg_sim_pid" 2>/dev/null || break
        sleep 0.1
    done
    cat "$work/$name.err" >&2
    vort_pkg_fail "$name did not come up"
}

vort_pkg_stop_sim() {
    [ -n "${vort_pkg_sim_pid:-}" ] || return 0
    kill -TERM "$vort_pkg_sim_pid" 2>/dev/null || true
    wait "$vort_pkg_sim_pid" 2>/dev/null || true
    vort_pkg_sim_pid=""
}

# tcu1 as a user who installed nothing himself: a fresh configuration and data
# directory (so the control comes from the system registry), the scanner simulator at
# 57600 baud on port 1, tcu1's demo screenshot offscreen.
vort_pkg_demo() {
    local root="$1" work="$2/demo"
    mkdir -p "$work/config" "$work/data"
    (
        export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" QT_QPA_PLATFORM=offscreen
        trap vort_pkg_stop_sim EXIT
        vort_pkg_start_sim "$work" scanner scanner-sim --com 1 --baud 57600 \
            --log "$work/scanner.log" --image-dir "$work/images" || exit 1
        # A message box nobody answers would hold it forever.
        timeout 180 tcu1 --demo-screenshot "$work/tcu1.png" >"$work/tcu1.out" 2>&1 ||
            { cat "$work/tcu1.out" >&2; vort_pkg_fail "tcu1's demo ended with $?"; exit 1; }
        [ -s "$work/tcu1.png" ] || { vort_pkg_fail "tcu1 saved no screenshot"; exit 1; }
        ! grep -h "image loads will be refused" "$work/scanner.log" "$work/scanner.err" ||
            { vort_pkg_fail "scanner-sim did not load the transfer library"; exit 1; }
        grep -q "rx .*TXPING" "$work/scanner.log" ||
            { cat "$work/tcu1.out" >&2; vort_pkg_fail "tcu1 did not reach the scanner"; exit 1; }
        echo "   scanner-sim loaded the transfer library; tcu1 found the scanner at 57600 baud;" \
            "screenshot $(stat -c %s "$work/tcu1.png") bytes"
    )
}

# Builds examples/ against the SDK under ROOT (pkg-config through its sysroot,
# find_package through the prefix) and runs both against modem-sim on port 7.
vort_pkg_examples() {
    local root="$1" work="$2/examples" source="$3"
    mkdir -p "$work/config"
    (
        export PKG_CONFIG_LIBDIR="$root$vort_pkg_libdir/pkgconfig:/usr/share/pkgconfig"
        [ -n "$root" ] && export PKG_CONFIG_SYSROOT_DIR="$root"
        local example
        for example in serial-echo control-host; do
            cmake -S "$source/examples/$example" -B "$work/$example" -G Ninja \
                -DCMAKE_PREFIX_PATH="${root:-/usr}/usr" >"$work/$example.log" 2>&1 &&
                cmake --build "$work/$example" >>"$work/$example.log" 2>&1 ||
                { cat "$work/$example.log" >&2; vort_pkg_fail "example $example does not build"; exit 1; }
        done
        echo "   examples built against the SDK in ${root:-/usr}"
        export XDG_CONFIG_HOME="$work/config"
        trap vort_pkg_stop_sim EXIT
        vort_pkg_start_sim "$work" modem modem-sim || exit 1
        mkdir -p "$work/config/serilon"
        echo "COM7=$(head -n1 "$work/modem.tty")" >"$work/config/serilon/ports.conf"
        printf 'AT\n' | "$work/serial-echo/serial-echo" 7 >"$work/echo.out" 2>&1 ||
            { cat "$work/echo.out" >&2; vort_pkg_fail "serial-echo failed"; exit 1; }
        grep -qx "OK" "$work/echo.out" ||
            { cat "$work/echo.out" >&2; vort_pkg_fail "serial-echo got no OK from the modem"; exit 1; }
        echo "   serial-echo: $(tr '\n' ' ' <"$work/echo.out")"
        "$work/control-host/control-host" 7 AT >"$work/host.out" 2>&1 ||
            { cat "$work/host.out" >&2; vort_pkg_fail "control-host failed"; exit 1; }
        grep -q '^OnComm CommEvent=2 (receive)' "$work/host.out" &&
            grep -q '^received ".*OK' "$work/host.out" ||
            { cat "$work/host.out" >&2; vort_pkg_fail "control-host saw no OK in an OnComm event"; exit 1; }
        sed 's/^/   control-host: /' "$work/host.out"
    )
}

# The runtime package's maintainer scripts (from CONTROL, its control folder) run by
# hand against ROOT as dpkg would with DPKG_ROOT: install, a second configure (what an
# upgrade runs), remove and purge, with and without an administrator's own entry.
vort_pkg_maintainer_scripts() {
    local root="$1" control="$2" registry="$1/etc/vort/registry"
    (
        export DPKG_ROOT="$root"
        local admin="library = \"/opt/admin/libthing.so\""
        mkdir -p "$root/etc/vort"
        printf '%s\n' "vort-registry 1" "" "[class {0D6E2F1A-5B7C-4E3D-9A8B-1C2D3E4F5A6B}]" \
            "$admin" "" "end" >"$registry"
        sh "$control/postinst" configure
        vort_pkg_check_registered "$root" || exit 1
        sh "$control/postinst" configure
        vort_pkg_check_registered "$root" || exit 1
        sh "$control/prerm" remove
        sh "$control/postrm" remove
        ! grep -qF "$root$vort_pkg_control" "$registry" && grep -qxF "$admin" "$registry" ||
            { cat "$registry" >&2; vort_pkg_fail "remove: the control stayed or the administrator's entry went"; exit 1; }
        echo "   remove: the control unregistered, the administrator's entry kept"
        # A purge after a removal that could not unregister (prerm never ran).
        sh "$control/postinst" configure
        sh "$control/postrm" purge
        ! grep -qF "$root$vort_pkg_control" "$registry" && grep -qxF "$admin" "$registry" &&
            [ "$(grep -c '^\[' "$registry")" -eq 1 ] && vortreg --list >/dev/null ||
            { cat "$registry" >&2; vort_pkg_fail "purge: the control stayed or the administrator's entry went"; exit 1; }
        echo "   purge: the control's entries dropped, the administrator's entry kept"
        # Without an administrator's entry nothing of the registry is left.
        rm -f "$registry" "$registry.lock"
        sh "$control/postinst" configure
        sh "$control/prerm" remove
        sh "$control/postrm" remove
        [ ! -e "$root/etc/vort" ] ||
            { ls -la "$root/etc/vort" >&2; vort_pkg_fail "remove left $root/etc/vort"; exit 1; }
        echo "   remove: no registry file or folder left"
        sh "$control/postinst" configure
    )
}

# The control, created by vort-container from the system registry, switches an open
# port to the 3964 procedure, for which it loads the 3964 library (by its SONAME: the
# runtime package has no unversioned link). Without the library Protocol stays 0.
vort_pkg_link3964() {
    local root="$1" work="$2/link3964"
    mkdir -p "$work/config/serilon" "$work/data"
    (
        export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" QT_QPA_PLATFORM=offscreen
        trap vort_pkg_stop_sim EXIT
        vort_pkg_start_sim "$work" modem modem-sim || exit 1
        echo "COM7=$(head -n1 "$work/modem.tty")" >"$work/config/serilon/ports.conf"
        printf '%s\n' "create VORT.VortCtrl.1" "set CommPort 7" "set PortOpen true" \
            "set Protocol 7" "get Protocol" "set PortOpen false" |
            timeout 120 vort-container --script - >"$work/script.out" 2>&1 ||
            { cat "$work/script.out" >&2; vort_pkg_fail "vort-container's script failed"; exit 1; }
        grep -qx "Protocol = 7" "$work/script.out" ||
            { cat "$work/script.out" >&2; vort_pkg_fail "the control did not load the 3964 library"; exit 1; }
        echo "   the control loaded the 3964 library (Protocol = 7 on an open port)"
    )
}
