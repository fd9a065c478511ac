#!/usr/bin/env bash
# Starts a local ombrel-server (unless one already answers on the port) and the application
# wired to it through the six endpoint variables. Stops the server it started on exit.
#
#   scripts/run-local.sh [--add-user EMAIL] [application arguments]
#
# OMBREL_SERVER_PORT (default 8787) and OMBREL_SERVER_DATA_DIR (default .local/ombrel-server)
# choose where the server listens and keeps its data; NOTES_DATA_DIR and TMPDIR give a second
# application instance a library and single-instance socket of its own.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target ombrel-server ombrel-notes -j"$(nproc)"

port="${OMBREL_SERVER_PORT:-8787}"
data="${OMBREL_SERVER_DATA_DIR:-$PWD/.local/ombrel-server}"
root="http://127.0.0.1:$port"

if [ "${1:-}" = "--add-user" ]; then
    email="${2:?--add-user needs an e-mail address}"
    shift 2
    read -rsp "Password for $email (at least 8 characters): " password
    echo
    printf '%s\n' "$password" | build/ombrel-server add-user "$email" --data-dir "$data"
fi

answers() {
    (exec 3<>"/dev/tcp/127.0.0.1/$port" && printf 'GET /health HTTP/1.0\r\n\r\n' >&3 && head -c 12 <&3 | grep -q 200) 2>/dev/null
}

if ! answers; then
    mkdir -p "$data"
    build/ombrel-server --port "$port" --data-dir "$data" 2>>"$data/server.log" &
    server=$!
    trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true' EXIT
    for _ in $(seq 50); do
        answers && break
        sleep 0.1
    done
    answers || { echo "ombrel-server did not start; see $data/server.log" >&2; exit 1; }
    echo "ombrel-server on $root (log: $data/server.log)"
fi

AUTH_BASE_URL="$root" \
AUTH_REALM_SLUG=ombrel \
AUTH_CLIENT_ID=0f1e2d3c4b5a69788796a5b4c3d2e1f0 \
ACCOUNT_API_URL="$root/account/v1" \
SYNC_API_URL="$root/notes/v1" \
ACCOUNT_PORTAL_URL="$root" \
    build/ombrel-notes "$@"
