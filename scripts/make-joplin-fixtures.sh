#!/usr/bin/env bash
# Writes tests/io/fixtures/joplin-cli.jex with the peer's own command-line client, so that
# the importer is tested on what that program really writes (metadata order, pax headers,
# resource layout), not only on archives we build ourselves.
#
#   scripts/make-joplin-fixtures.sh [output.jex]
#
# JOPLIN names the client (default: "joplin" on PATH). To install it without touching the
# system: npm_config_nodedir=/usr npm install --prefix /tmp/joplin -g joplin@3.5.1 \
#   --allow-scripts=keytar,sharp,sqlite3   and then JOPLIN=/tmp/joplin/bin/joplin.
# The client runs with a private profile and HOME, so no user's notes are read or changed.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$repo/tests/io/fixtures/joplin-cli.jex}
joplin=${JOPLIN:-joplin}
command -v "$joplin" >/dev/null || { echo "no Joplin client: set JOPLIN" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home
mkdir -p "$HOME"
j() { timeout 120 "$joplin" --profile "$work/profile" "$@"; }

# A 1x1 PNG.
printf '\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x01\0\0\0\x01\x08\x06\0\0\0\x1f\x15\xc4\x89\0\0\0\rIDATx\x9cc\xf8\xff\xff?\0\x05\xfe\x02\xfe\xa7\x35\x81\x84\0\0\0\0IEND\xaeB`\x82' \
    >"$work/pixel.png"

j mkbook "Projects"
j mkbook "Archive 2023" --parent "Projects"
j mkbook "Inbox"

# A resource referenced twice in one note.
j use "Inbox"
j mknote "Two pictures"
j attach "Two pictures" "$work/pixel.png"
resource=$(j cat "Two pictures" | grep -oE '[0-9a-f]{32}' | head -n 1)
[ -n "$resource" ] || { echo "attach gave no resource link" >&2; exit 1; }
resource=":/$resource"
j set "Two pictures" body "First: ![pixel]($resource)

Again: ![pixel]($resource)"

# An HTML note.
j mknote "Web clip"
j set "Web clip" markup_language 2
j set "Web clip" body '<p>Clipped <b>bold</b> &amp; <i>italic</i></p><ul><li>one</li><li>two</li></ul>'

# A Unicode title whose first body line repeats it; another whose body opens with a
# heading repeating it.
j mknote "Café ☕ Überblick"
j set "Café ☕ Überblick" body "Café ☕ Überblick

Grüße aus **Köln**."
j mknote "Résumé 日本"
j set "Résumé 日本" body "# Résumé 日本 – Notizen

Ein Absatz."

# Nested notebooks, and a note without a title.
j use "Archive 2023"
j mknote "Old plan"
j set "Old plan" body -- "- [x] done
- [ ] still open"
j mknote "Untitled placeholder"
j set "Untitled placeholder" body "Body of a note without title."
j set "Untitled placeholder" title ""

mkdir -p "$(dirname "$out")"
j export --format jex "$work/export.jex"
cp "$work/export.jex" "$out"
echo "wrote $out ($(stat -c %s "$out") bytes)"
