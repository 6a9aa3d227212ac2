#!/usr/bin/env bash
# Every C++ file of the project is as clang-format leaves it (.clang-format at the top).
set -euo pipefail
cd "$1"
mapfile -t files < <(git ls-files -- '*.cpp' '*.h' 2>/dev/null || find src tools tests bench -name '*.cpp' -o -name '*.h')
[ ${#files[@]} -gt 0 ] || { echo "formatting: no source files found"; exit 1; }
report=$(mktemp)
trap 'rm -f "$report"' EXIT
if clang-format --dry-run --Werror "${files[@]}" 2>"$report"; then
    echo "formatting: ${#files[@]} files as .clang-format leaves them"
else
    grep -E '^[^ ].*: (error|warning):' "$report" | head -n 40
    echo "formatting: $(grep -cE ': (error|warning):' "$report") places differ; run clang-format -i on them"
    exit 1
fi
