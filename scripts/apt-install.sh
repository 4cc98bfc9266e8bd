#!/usr/bin/env bash
# Installs Debian packages (run as root) so that a package mirror caught in
# the middle of a sync does not stop the set-up. Such a mirror can serve one
# index that no longer matches its release file, for an hour or more: then
# the update goes on with the indexes that did arrive, and says which one
# failed. With one architecture's index of a suite missing, the resolver
# wants that suite's newer libraries for the other architecture and finds no
# twins for them (wine32:i386 has "unmet dependencies"); then the install is
# made again from the release alone, for both architectures, which keeps
# their versions equal. Any other failure names the command, its status and
# its last lines, and ends the script with that status.
#
# usage: apt-install.sh PACKAGE...
# VELMORA_APT_TRIES (3) and VELMORA_APT_PAUSE (5 seconds) set how often, and
# how far apart, a failed update is tried.
set -uo pipefail
source "$(dirname "$0")/steps.sh"

tries=${VELMORA_APT_TRIES:-3}
pause=${VELMORA_APT_PAUSE:-5}
log=$(mktemp /tmp/velmora-apt.XXXXXX) || exit 1
trap 'rm -f "$log"' EXIT

update() {
    local try status
    for (( try = 1; ; try++ )); do
        apt-get update -q >"$log" 2>&1 && return 0
        status=$?
        [ "$try" -lt "$tries" ] || break
        sleep "$pause"
    done
    # "E: Failed to fetch URL  REASON": only indexes that failed are
    # forgiven; an update that failed in any other way stops here.
    local failed
    failed=$(sed -n 's/^E: Failed to fetch \([^ ]*\) *\(.*\)/\1 (\2)/p' "$log")
    if [ -z "$failed" ]; then
        report_failure "$status" "$log" apt-get update -q
        exit "$status"
    fi
    while IFS= read -r index; do
        echo "apt-get update: going on without an index that failed $tries times: $index"
    done <<<"$failed"
}

install() {  # [APT-OPTION...] -- PACKAGE...
    local options=()
    while [ "$1" != -- ]; do options+=("$1"); shift; done
    shift
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q \
        --no-install-recommends "${options[@]}" "$@" >"$log" 2>&1
}

update
install -- "$@" && exit 0
status=$?
if grep -q 'unmet dependencies' "$log"; then
    release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    if [ -n "$release" ]; then
        echo "apt-get install: unmet dependencies, as when an index of a suite is missing;" \
             "installing from $release alone, for both architectures"
        install -t "$release" -- "$@" && exit 0
        status=$?
        report_failure "$status" "$log" apt-get install -y -q --no-install-recommends \
            -t "$release" "$@"
        exit "$status"
    fi
fi
report_failure "$status" "$log" apt-get install -y -q --no-install-recommends "$@"
exit "$status"
