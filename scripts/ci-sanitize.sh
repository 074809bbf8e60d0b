#!/usr/bin/env bash
# The sanitizer step of CI, after the plain run: every test program under AddressSanitizer and
# UndefinedBehaviorSanitizer, the data layer and the workspace's threads under ThreadSanitizer
# (scripts/sanitize.sh does the work). Any report fails it. Says how long each part took.
set -euo pipefail
cd "$(dirname "$0")/.."
export CI=true
total=$SECONDS
for kind in asan tsan; do
    started=$SECONDS
    nice -n 5 scripts/sanitize.sh "$kind"
    echo "ci-sanitize: $kind took $((SECONDS - started)) s"
done
echo "ci-sanitize: all took $((SECONDS - total)) s"
