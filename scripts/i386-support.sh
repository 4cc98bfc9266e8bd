#!/usr/bin/env bash
# Makes sure this host runs i386 Linux programs, which 32-bit Wine is. Some
# x86-64 machines (virtual ones among them) run no 32-bit x86 code at all,
# although their kernel accepts i386 programs; there, and only there (or
# when asked, below), an i386 emulator is installed and registered with the
# kernel (run as root).
# Prints nothing where i386 programs already run. `--which` prints how they
# run here: "native i386", "i386 under emulation" or "no i386".
#
# VELMORA_I386=emulate installs and registers the emulator even where i386
# programs run natively, to try the emulated path on any host: the kernel
# asks binfmt_misc's entries before its own ELF loader, so 32-bit Wine then
# runs under the emulator machine-wide, until the entry is removed.
set -euo pipefail

wine32_loader=/usr/lib/wine/wine
emulator_dir=/usr/local/lib/velmora-i386
emulator=$emulator_dir/qemu-i386
binfmt=/proc/sys/fs/binfmt_misc
entry=$binfmt/qemu-i386

# qemu-user answers QEMU_VERSION with its own version instead of running the
# program, so the answer tells an emulated loader from a native one.
how_i386_runs() {
    local answer
    if ! answer=$(QEMU_VERSION=1 "$wine32_loader" --version 2>&1); then
        echo "no i386"
    elif [[ $answer == qemu* ]]; then
        echo "i386 under emulation"
    else
        echo "native i386"
    fi
}

if [ "${1:-}" = --which ]; then
    how_i386_runs
    exit 0
fi

fail() {
    echo "i386 emulation: $*" >&2
    exit 1
}
case ${VELMORA_I386:-} in
    emulate) wanted="i386 under emulation" ;;
    "") wanted="native i386" ;;
    *) fail "VELMORA_I386=$VELMORA_I386 is not understood; the one setting is 'emulate'" ;;
esac
case $(how_i386_runs) in
    "i386 under emulation"|"$wanted") exit 0 ;;
    "native i386")
        why="VELMORA_I386=emulate: 32-bit x86 code runs natively here, but is to run emulated" ;;
    *) why="This host runs no 32-bit x86 code" ;;
esac
[ "$(id -u)" -eq 0 ] || fail "$why; run the set-up as root to install an emulator"
echo "$why: registering qemu-user's i386 emulator with binfmt_misc (installed first if missing)."

# Debian 12's own qemu-user-static (7.2) ignores MAP_FIXED_NOREPLACE: every
# Wine process then spends about a minute of CPU reserving its memory, and a
# new prefix takes minutes and crashes. Trixie's qemu-user (10) works, and its
# qemu-i386 is a static program that runs on Debian 12 as it is. It comes
# from the archive this machine already uses, through an apt configuration
# of its own: the system's sources, lists and cache stay as they are.
if [ ! -x "$emulator" ]; then
    archive=$(apt-get indextargets --format '$(REPO_URI)' 'Codename: bookworm' \
              2>/dev/null | head -1)
    [ -n "$archive" ] || fail "no Debian archive found in this machine's apt sources"
    work=$(mktemp -d /tmp/velmora-trixie.XXXXXX)
    trap 'rm -rf "$work"' EXIT
    mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/parts"
    echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $archive trixie main" \
        >"$work/sources.list"
    apt_trixie=(apt-get -q -o APT::Sandbox::User=root
        -o Dir::Etc::SourceList="$work/sources.list"
        -o Dir::Etc::SourceParts="$work/parts"
        -o Dir::State::Lists="$work/lists"
        -o Dir::Cache="$work/cache"
        -o APT::Architectures::=amd64)
    "${apt_trixie[@]}" update >"$work/log" 2>&1 ||
        fail "apt-get update of trixie failed: $(tail -3 "$work/log")"
    (cd "$work" && "${apt_trixie[@]}" download qemu-user) >>"$work/log" 2>&1 ||
        fail "downloading trixie's qemu-user failed: $(tail -3 "$work/log")"
    dpkg-deb -x "$work"/qemu-user_*.deb "$work/unpacked" ||
        fail "could not unpack $(ls "$work"/qemu-user_*.deb)"
    mkdir -p "$emulator_dir"
    install -m 755 "$work/unpacked/usr/bin/qemu-i386" "$emulator"
fi

# Flag F opens the emulator now, so mount namespaces and chroots are served
# too. The entry lasts until reboot; `echo -1 > /proc/sys/fs/binfmt_misc/qemu-i386`
# removes it sooner.
if [ ! -e "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt" ||
        fail "could not mount binfmt_misc at $binfmt"
fi
[ ! -e "$entry" ] || echo -1 >"$entry"
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
echo ":qemu-i386:M::$magic:$mask:$emulator:F" >"$binfmt/register" ||
    fail "could not register $emulator with binfmt_misc"

[ "$(how_i386_runs)" = "i386 under emulation" ] ||
    fail "$wine32_loader does not run under the emulator: $("$wine32_loader" --version 2>&1 | tail -3)"
