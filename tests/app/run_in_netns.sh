#!/bin/bash
# Runs a test inside a network namespace of its own with only loopback up, so that nothing
# it does can reach another machine (and the FTP port 21 can be bound). Refuses to run the
# test anywhere else.
set -u
if [ "${VARN_IN_NETNS:-}" != 1 ]; then
    if ! unshare -rn true 2>/dev/null; then
        echo "FAIL: cannot create a network namespace (unshare -rn); this test never runs outside one" >&2
        exit 1
    fi
    exec unshare -rn env VARN_IN_NETNS=1 "$0" "$@"
fi
ip link set lo up || { echo "FAIL: cannot bring loopback up in the namespace" >&2; exit 1; }
# Only loopback may exist here.
if ip -o link show | grep -v ': lo:' | grep -q .; then
    echo "FAIL: the namespace has an interface other than loopback" >&2
    exit 1
fi
unset http_proxy https_proxy ftp_proxy all_proxy no_proxy HTTP_PROXY HTTPS_PROXY FTP_PROXY ALL_PROXY NO_PROXY
exec "$@"
