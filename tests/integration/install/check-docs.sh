#!/usr/bin/env bash
# Checks that the man pages and the shell completions name every command and
# option the programs' --help lists, and nothing they no longer list.
#   check-docs.sh GLOWMERECTL GLOWMERE_BRIDGE_SIM [GLOWMERE] -- MAN_DIR BASH_COMPLETION ZSH_COMPLETION
# Every missing piece is reported on a line of its own that says which
# command or option is missing from which file.
set -uo pipefail

programs=()
while [[ $# -gt 0 && $1 != -- ]]; do
    programs+=("$1")
    shift
done
shift
man_dir=$1 bash_completion=$2 zsh_completion=$3

failures=0
fail() {
    echo "MISMATCH: $*" >&2
    failures=$((failures + 1))
}

# Long options in some text, one per line, sorted and unique.
long_options() { grep -oE -- '--[a-z][a-z0-9-]*' | sort -u; }
# Man page source as plain text: font changes dropped, \- as -.
man_text() { sed -e 's/\\f[BIRP]//g' -e 's/\\-/-/g' "$1"; }
# The options the man page names anywhere.
man_options() { man_text "$1" | long_options; }
# Whether $1 is one of the lines of $2 (no process: this runs hundreds of times).
has() { [[ $'\n'$2$'\n' == *$'\n'"$1"$'\n'* ]]; }

# glowmere and glowmere-bridge-sim: every option of --help in the man page and
# every option of the man page's OPTIONS section in --help.
check_program_options() {
    local program=$1 name page help_options section_options
    name=$(basename "$program")
    page=$man_dir/$name.1
    if [[ ! -f $page ]]; then
        fail "$page: no man page for $name"
        return
    fi
    help_options=$("$program" --help 2>&1 | long_options)
    section_options=$(man_text "$page" | sed -n '/^\.SH OPTIONS/,/^\.SH/p' | long_options)
    for option in $help_options; do
        has "$option" "$section_options" ||
            fail "$name.1 does not describe option '$option' that '$name --help' lists (add it under .SH OPTIONS in dist/man/$name.1.in)"
    done
    for option in $section_options; do
        has "$option" "$help_options" ||
            fail "$name.1 describes option '$option' that '$name --help' does not list"
    done
}

for program in "${programs[@]}"; do
    [[ $(basename "$program") == glowmerectl ]] && ctl=$program || check_program_options "$program"
done

# glowmerectl: global options, commands, and each command's own options.
help=$("$ctl" --help)
ctl_globals=$(sed '/^$/q' <<<"$help" | long_options)
ctl_commands=$(sed -n '/^commands:/,/^$/p' <<<"$help" | sed -n 's/^  \([a-z][a-z0-9-]*\).*/\1/p')
# The options a command's usage names (its line up to the summary).
command_options() {
    sed -n '/^commands:/,/^$/p' <<<"$help" | grep -E "^  $1( |$)" | sed -E 's/ {3,}.*//' | long_options
}

page=$man_dir/glowmerectl.1
page_text=$(man_text "$page")
page_globals=$(sed -n '/^\.SH OPTIONS/,/^\.SH/p' <<<"$page_text" | long_options)
# COMMANDS entries as "NAME<TAB>the entry's text"; the name is the first word after .TP.
page_entries=$(sed -n '/^\.SH COMMANDS/,/^\.SH [^C]/p' <<<"$page_text" | awk '
    /^\.TP/ { if (name != "") print name "\t" body; name = ""; body = ""; head = 1; next }
    /^\.SH/ { next }
    head { split($0, w, " "); name = w[1]; head = 0 }
    { body = body " " $0 }
    END { if (name != "") print name "\t" body }')
page_commands=$(cut -f1 <<<"$page_entries")

for option in $ctl_globals; do
    has "$option" "$page_globals" ||
        fail "glowmerectl.1 does not describe global option '$option' (add it under .SH OPTIONS in dist/man/glowmerectl.1.in)"
done
for command in $ctl_commands; do
    if ! has "$command" "$page_commands"; then
        fail "glowmerectl.1 has no entry for command '$command' (add it under .SH COMMANDS in dist/man/glowmerectl.1.in)"
        continue
    fi
    entry=$(awk -F'\t' -v c="$command" '$1 == c { print $2 }' <<<"$page_entries")
    for option in $(command_options "$command"); do
        has "$option" "$(long_options <<<"$entry")" ||
            fail "glowmerectl.1 does not name option '$option' in the entry for command '$command'"
    done
done
for command in $page_commands; do
    has "$command" "$ctl_commands" ||
        fail "glowmerectl.1 documents command '$command' that 'glowmerectl --help' does not list"
done

# bash: ask the completion function itself, as the shell would.
bash_complete() {
    bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1));
             _glowmerectl; printf "%s\n" "${COMPREPLY[@]}"' _ "$bash_completion" glowmerectl "$@" | sort -u
}
if [[ ! -f $bash_completion ]]; then
    fail "$bash_completion: no bash completion"
else
    offered=$(bash_complete "")
    for command in $ctl_commands; do
        has "$command" "$offered" ||
            fail "bash completion ($bash_completion) does not offer command '$command'"
    done
    for command in $offered; do
        has "$command" "$ctl_commands" ||
            fail "bash completion offers command '$command' that 'glowmerectl --help' does not list"
    done
    offered=$(bash_complete "-")
    for option in $ctl_globals; do
        has "$option" "$offered" || fail "bash completion does not offer global option '$option'"
    done
    for command in $ctl_commands; do
        offered=$(bash_complete "$command" "--")
        for option in $(command_options "$command"); do
            has "$option" "$offered" ||
                fail "bash completion does not offer option '$option' after command '$command'"
        done
    done
fi

# zsh: read the lists out of the file (running zsh's completion system
# needs a terminal); the syntax is checked when zsh is here.
if [[ ! -f $zsh_completion ]]; then
    fail "$zsh_completion: no zsh completion"
else
    if command -v zsh >/dev/null && ! zsh -n "$zsh_completion"; then
        fail "zsh completion ($zsh_completion) does not parse"
    fi
    zsh_commands=$(sed -n '/local -a commands=(/,/^ *)/p' "$zsh_completion" | sed -nE "s/^ *['\"]([a-z][a-z0-9-]*):.*/\1/p")
    zsh_globals=$(sed -n '/local -a global_options=(/,/^ *)/p' "$zsh_completion" | long_options)
    # "COMMAND OPTION" for each option in a command's branch of the arguments case.
    zsh_pairs=$(awk '
        /^ *arguments\)/ { on = 1; next }
        on && /^ *[a-z][a-z0-9 |-]*\) *$/ { gsub(/[ )]/, ""); n = split($0, current, "|"); next }
        on && /;;/ { n = 0 }
        on && n { while (match($0, /--[a-z][a-z0-9-]*/)) {
                      for (i = 1; i <= n; i++) print current[i], substr($0, RSTART, RLENGTH)
                      $0 = substr($0, RSTART + RLENGTH) } }' "$zsh_completion")
    for command in $ctl_commands; do
        has "$command" "$zsh_commands" ||
            fail "zsh completion ($zsh_completion) does not offer command '$command'"
        for option in $(command_options "$command"); do
            has "$command $option" "$zsh_pairs" ||
                fail "zsh completion does not offer option '$option' after command '$command'"
        done
    done
    for command in $zsh_commands; do
        has "$command" "$ctl_commands" ||
            fail "zsh completion offers command '$command' that 'glowmerectl --help' does not list"
    done
    for option in $ctl_globals; do
        has "$option" "$zsh_globals" || fail "zsh completion does not offer global option '$option'"
    done
fi

if ((failures)); then
    echo "$failures mismatches. Whoever adds a command or option adds it to the program's man page" >&2
    echo "(dist/man/NAME.1.in) and, for glowmerectl, to dist/completions/glowmerectl.bash and" >&2
    echo "dist/completions/_glowmerectl in the same change." >&2
    exit 1
fi
echo "man pages and completions match --help"
