#!/usr/bin/env bash
# The manual page and the bash completion against the program's real command line (--help):
#   - every command and option of --help has an entry of its own in the manual page, and the
#     page has no entry for anything else;
#   - the completion, run as bash-completion runs it, offers each command's options exactly as
#     its usage line and the global options give them, the commands, the board words, and the
#     scenarios of the data folder.
#   bash tests/cli_docs.sh PROGRAM MAN_PAGE COMPLETION DATA_DIR
set -euo pipefail
program=$1 man=$2 completion=$3 data=$4
[[ -r /usr/share/bash-completion/bash_completion ]] ||
  { echo "cli_docs: bash-completion is not installed (scripts/setup-debian.sh installs it)" >&2; exit 1; }
failures=0
fail() { echo "cli_docs: $*" >&2; failures=$((failures + 1)); }
same() { # what expected actual
  if [[ "$2" != "$3" ]]; then
    fail "$1"$'\n'"  expected: $(echo $2)"$'\n'"  actual:   $(echo $3)"
  fi
}
# Long options (--name) and the unattended form's words (-path, -auto, -lang), one per line.
options() { tr '[]' '  ' | grep -oE -- '(^|[ |"(])--?[a-z][a-z-]*[a-z]' | sed -E 's/^[^-]+//' |
  grep -E -- '^(--[a-z]|-[a-z]{3,})' | sort -u || true; }
words() { tr ' ' '\n' | sed '/^$/d' | sort -u; }

help=$("$program" --lang en --help) # the sections are read by their English headings, whatever the locale
section() { sed -n "/^$1:/,/^\$/p" <<<"$help"; }
commands=$(section Commands | grep -oE '^  [a-z]+ ' | tr -d ' ' | sort -u)
global=$(section 'Global options' | options)
usage() { grep -E "^  vellum-fwupdater \[GLOBAL\] $1" <<<"$help" | sed 's/\[GLOBAL\]//' | options; }
[[ -n "$commands" && -n "$global" ]] || { echo "cli_docs: --help lists no commands or options" >&2; exit 1; }
all=$( (echo "$help" | options) )

# --- the manual page: the tags of its .TP entries as a reader sees them ---------------------
tags=$(awk '/^\.TP/ { getline; print }' "$man" | sed -E 's/\\-/-/g; s/\\f[BIRP]//g; s/^\.[A-Z]+ +//; s/"//g')
same "the options with an entry in the manual page" "$all" "$(options <<<"$tags")"
same "the commands with an entry in the manual page" "$commands" \
  "$(awk '{ print $1 }' <<<"$tags" | grep -xE '[a-z]+' | grep -xF -f <(echo "$commands"; echo "$all") | sort -u || true)"

# --- the completion, as bash-completion calls it ---------------------------------------------
complete_line() { # the command line up to the cursor; prints the offered words
  bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$1"
    export VFWU_DATA_DIR=$2
    line=$3
    COMP_LINE=$line COMP_POINT=${#line} COMP_TYPE=9
    # bash splits the line at blanks and at "=" (COMP_WORDBREAKS)
    read -ra COMP_WORDS <<<"${line//=/ = }"
    [[ $line == *[\ =] ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    compopt() { :; }
    _vellum_fwupdater vellum-fwupdater "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$data" "$1" | sed 's/=$//' | sort -u
}
same "the completion of the command word" "$commands" "$(complete_line 'vellum-fwupdater ')"
same "the completion of options before a command" "$( (echo "$global"; usage '-path') | sort -u)" \
  "$(complete_line 'vellum-fwupdater -')"
for c in $commands; do
  same "the completion of options after '$c'" "$( (echo "$global"; usage "$c") | sort -u)" \
    "$(complete_line "vellum-fwupdater --simulate $c -")"
done
boards=$(grep -oE -- '--type [a-z|]+' <<<"$help" | head -1 | sed 's/--type //' | tr '|' ' ' | words)
same "the completion of --type" "$boards" "$(complete_line 'vellum-fwupdater update --type ')"
same "the completion of -auto" "$boards" "$(complete_line 'vellum-fwupdater -path x -auto ')"
same "the completion of -path's value" "" "$(complete_line 'vellum-fwupdater -path ')"
same "the completion of --simulate=" "$(ls "$data/scenarios" | sort -u)" "$(complete_line 'vellum-fwupdater --simulate=')"

if ((failures)); then
  echo "cli_docs: $failures difference(s) between --help and the manual page or the completion" >&2
  exit 1
fi
echo "cli_docs: manual page and completion agree with --help ($(echo $commands) and $(wc -l <<<"$all") options)"
