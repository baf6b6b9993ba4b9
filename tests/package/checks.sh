# Sourced by the package tests: counts failed checks and ends the test with
# one line that names it and says how it went.
failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}
# finish NAME [SUFFIX]: SUFFIX follows the counts (", 0 skipped" for the
# lines the Wine run adds up).
finish() {
    if [ "$failures" -eq 0 ]; then
        echo "$1: 1 passed, 0 failed${2:-}"
        exit 0
    fi
    echo "$1: 0 passed, 1 failed${2:-} ($failures checks failed)"
    exit 1
}
