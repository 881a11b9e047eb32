#!/usr/bin/env bash
# Completes command lines in bash (plain, and with the bash-completion package where it is
# installed), zsh and fish, with the scripts the build wrote, in a folder holding one file and
# one folder, and compares the words each shell offers with what a user expects.
# Usage: tst_completion.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/here/sub"
touch "$work/here/a.png"
cd "$work/here"
failed=0

# A line, completed at its end | the words offered, in any order.
cases='assetsmith |ios mac watch vision tv icon imageset check build render layers init a.png sub
assetsmith i|ios icon imageset init
assetsmith --|--quiet --json --help --version
assetsmith mac --|--out --name --style --quiet --json --help --version
assetsmith ios --s|--single-size
assetsmith --quiet mac --st|--style
assetsmith mac --name Logo --s|--style
assetsmith mac --style |26 15
assetsmith mac --style=|26 15
assetsmith ios --background re|red
assetsmith icon --background lightgoldenrod|lightgoldenrodyellow
assetsmith check --format |text json github
assetsmith build --|--manifest --check --quiet --json --help --version
assetsmith build --check --s|
assetsmith build --manifest |a.png sub
assetsmith check |sub
assetsmith check --format json |sub
assetsmith init |sub
assetsmith mac |a.png sub
assetsmith ios --tinted |auto a.png sub
assetsmith tv --out |sub
assetsmith imageset --width |
assetsmith render a.png --appearance t|tinted-light tinted-dark
assetsmith render --p|--platform'

# The words offered, one a line, bare: a folder's "/" and an "--option=" the shell keeps are
# not what differs between shells.
bare() { sed -e 's#/$##' -e 's#^--[a-z-]*=##' | sort -u | tr '\n' ' ' | sed 's/ $//'; }

compare() { # shell, line, expected, offered
    local expected
    expected=$(tr ' ' '\n' <<<"$3" | grep . | bare || true)
    if [ "$4" != "$expected" ]; then
        echo "FAIL: $1: “$2” offers “$4”, expected “$expected”" >&2
        failed=1
    fi
}

# Each shell writes what it offers for each line of the cases, one line each, into a file.
# bash, as readline splits a line: "=" is a word of its own.
bash_offers() { # prelude
    bash --norc --noprofile -c '
        source "$1" >/dev/null 2>&1 || true
        source "$2"
        while IFS="|" read -r line _; do
            read -ra COMP_WORDS <<<"${line//=/ = }"
            [[ $line == *" " ]] && COMP_WORDS+=("")
            COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
            _assetsmith
            echo "${COMPREPLY[*]}"
        done' _ "$1" "$build/assetsmith.bash" <<<"$cases"
}
bash_offers /dev/null >"$work/bash"
shells=(bash)
if [ -f /usr/share/bash-completion/bash_completion ]; then
    bash_offers /usr/share/bash-completion/bash_completion >"$work/bash-completion"
    shells+=(bash-completion)
fi

mapfile -t lines <<<"$cases"
fish --no-config -c 'source $argv[1]
    for line in $argv[2..]
        echo (complete -C (string split -f1 "|" -- $line) | string replace -r "\t.*" "")
    end' "$build/assetsmith.fish" "${lines[@]}" >"$work/fish"
# zsh completes only in its line editor: one interactive zsh on a terminal of its own takes each
# line and a key bound to completion, with compadd wrapped to write down the words it offers.
zsh -n "$build/_assetsmith" || { echo "FAIL: zsh cannot parse _assetsmith" >&2; exit 1; }
zsh -f -c '
    zmodload zsh/zpty
    folder=$1 out=$2 cases=$3
    zpty z zsh -f -i
    zpty -w z "fpath=(${(q)folder} \$fpath); autoload -U compinit; compinit -u -D
        unsetopt auto_list beep
        (( \$+_comps[assetsmith] )) || print missing >${(q)out}.missing"
    zpty -w z "compadd() {
        if [[ \${@[1,(i)(-|--)]} != *-[OAD]\\ * ]]; then
            local -a h; builtin compadd -O h \"\$@\"; print -rl -- \$h >>${(q)out}
        fi
        builtin compadd \"\$@\"
    }"
    zpty -w z "zle -C capture complete-word _main_complete
        captured() { zle capture; print -n >${(q)out}.done; }
        zle -N captured; bindkey \"^T\" captured"
    for line in ${(f)cases}; do
        : >$out; rm -f $out.done
        zpty -w -n z "${line%%|*}"$'\''\C-t'\''
        for i in {1..200}; do [[ -e $out.done ]] && break; sleep 0.05; done
        zpty -w -n z $'\''\C-u'\''
        print -r -- "${(j: :)${(@f)$(<$out)}}"
    done
    zpty -d z
    [[ ! -e $out.missing ]]' _ "$build" "$work/zsh-offers" "$cases" >"$work/zsh" ||
    { echo "FAIL: compinit does not register _assetsmith for assetsmith" >&2; exit 1; }
shells+=(fish zsh)
for shell in "${shells[@]}"; do
    while IFS='|' read -r line expected offered; do
        compare "$shell" "$line" "$expected" "$(tr ' ' '\n' <<<"$offered" | grep . | bare || true)"
    done < <(paste -d '|' <(cut -d'|' -f1,2 <<<"$cases") "$work/$shell")
done

[ "$failed" = 0 ] && echo "bash, zsh and fish complete every line as expected"
exit "$failed"
