#!/usr/bin/env bash
# Completes calderine command lines with the hand-written bash completion and checks the
# candidates. bash-completion's own helpers are replaced by small stand-ins, so the test
# needs only bash.
# Usage: completion_test.sh COMPLETION_FILE
set -u
_init_completion() {
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD - 1]}
    words=("${COMP_WORDS[@]}")
    cword=$COMP_CWORD
}
_filedir() { COMPREPLY=(FILES${1:+:$1}); }
complete() { :; }
calderine() { printf 'drive\t0\tCLD Virtual\ndrive\t1\tOther\n'; }
# shellcheck source=/dev/null
source "$1"

failures=0
expect() { # expect "WORDS..." "EXPECTED CANDIDATES"
    local line=$1 want=$2
    read -r -a COMP_WORDS <<<"$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _calderine
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//')
    if [[ $got != "$want" ]]; then
        echo "FAIL: '$line' -> '$got', expected '$want'" >&2
        failures=$((failures + 1))
    fi
}

expect "calderine co" "convert"
expect "calderine d" "decode devices"
expect "calderine convert --to " "aac flac mp3 opus vorbis wav wma"
expect "calderine rip --format o" "opus"
expect "calderine convert --bitrate-mode c" "cbr cvbr"
expect "calderine convert --le" "--level"
expect "calderine convert --al" "--album-gain"
expect "calderine rip --al" ""
expect "calderine rip --no" "--no-cover --no-gap-detection"
expect "calderine convert --on-error s" "skip stop"
expect "calderine rip --format f" "flac"
expect "calderine rip --names " "cache cddb musicbrainz none"
expect "calderine rip --drive " "0 1"
expect "calderine info --d" "--drive"
expect "calderine decode --sk" "--skip-existing"
expect "calderine convert --out " "FILES:-d"
expect "calderine verify " "FILES:@(cue|log)"
expect "calderine --json convert " "FILES"
[ $failures -eq 0 ] && echo "completion test: all checks passed"
exit $((failures > 0))
