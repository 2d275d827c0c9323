#!/usr/bin/env bash
# Fails when a source file includes a header of its own layer's peers or of a layer
# above it. The layers, lowest first:
#   platform <- core <- (host, search, dhcp, transfer, ui) <- start <- app, cli
# A folder may include its own headers and those of any lower layer, nothing else.
# Usage: check-layers.sh [source root]   (default: src beside this script)
set -euo pipefail
root="${1:-$(cd "$(dirname "$0")/.." && pwd)/src}"

rank() {
    case "$1" in
    platform) echo 0 ;;
    core) echo 1 ;;
    host | search | dhcp | transfer | ui) echo 2 ;;
    start) echo 3 ;;
    app | cli) echo 4 ;;
    *) echo -1 ;;
    esac
}

bad=0
while IFS= read -r -d '' file; do
    rel="${file#"$root"/}"
    own="${rel%%/*}"
    own_rank=$(rank "$own")
    if [[ $own_rank -lt 0 ]]; then
        echo "$rel: folder '$own' has no layer; add it to scripts/check-layers.sh" >&2
        bad=1
        continue
    fi
    line_no=0
    while IFS= read -r line; do
        line_no=$((line_no + 1))
        [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([a-z]+)/ ]] || continue
        target="${BASH_REMATCH[1]}"
        [[ $target == "$own" ]] && continue
        target_rank=$(rank "$target")
        if [[ $target_rank -lt 0 || $target_rank -ge $own_rank ]]; then
            echo "$rel:$line_no: '$own' may not include '$target': ${line#"${line%%[![:space:]]*}"}" >&2
            bad=1
        fi
    done <"$file"
done < <(find "$root" -type f \( -name '*.h' -o -name '*.cpp' \) -print0 | sort -z)

if [[ $bad -ne 0 ]]; then
    echo "check-layers: includes climb a layer (see above)" >&2
    exit 1
fi
echo "check-layers: every include in $root runs down the layers"
