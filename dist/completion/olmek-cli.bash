# bash completion for olmek-cli
#
# The verbs and their options are read from `olmek-cli --help`, so that the
# completion follows the program it completes.

# One line per verb: "NAME ARGUMENTS...".
_olmek_cli_usage()
{
    "$1" --help 2>/dev/null | sed -n 's/^  olmek-cli \([^-].*\)$/\1/p'
}

# The argument an option takes in a usage line ("DIR", "MASK", ...), if any.
_olmek_cli_option_argument()
{
    [[ $2 == -* ]] || return
    local word next ws
    read -ra ws <<<"$1"
    for word in "${ws[@]}"; do
        word=${word#[}
        word=${word%]...}
        word=${word%]}
        if [[ -n $next ]]; then
            [[ $word =~ ^[A-Z]+$ ]] && printf '%s\n' "$word"
            return
        fi
        [[ $word == "$2" ]] && next=1
    done
}

_olmek_cli_files()
{
    compopt -o filenames 2>/dev/null
    if [[ $1 == dirs ]]; then
        COMPREPLY=($(compgen -d -- "$cur"))
    elif declare -F _filedir >/dev/null; then
        _filedir
    else
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
}

_olmek_cli()
{
    local cur prev words cword
    if declare -F _init_completion >/dev/null; then
        _init_completion || return
    else
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD-1]}
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
    fi

    local usage
    usage=$(_olmek_cli_usage "${words[0]}")

    if [[ $cword -eq 1 ]]; then
        COMPREPLY=($(compgen -W "$(cut -d' ' -f1 <<<"$usage") --help --version" -- "$cur"))
        return
    fi

    local verb=${words[1]} name line=
    while read -r name rest; do
        [[ $name == "$verb" ]] && { line=$rest; break; }
    done <<<"$usage"
    [[ -n $line ]] || return

    local arg
    arg=$(_olmek_cli_option_argument "$line" "$prev")
    if [[ -n $arg ]]; then
        [[ $arg == DIR ]] && _olmek_cli_files dirs
        return
    fi

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$(grep -o -- '-[-a-z0-9][-a-z0-9]*' <<<"$line")" -- "$cur"))
        return
    fi

    # A first argument of fixed choices, as "uu|xx|b64" of encode.
    local choices i
    choices=$(grep -o '^[a-z0-9]*|[a-z0-9|]*' <<<"$line" | tr '|' ' ')
    if [[ -n $choices ]]; then
        for ((i = 2; i < cword; i++)); do
            [[ ${words[i]} == -* ]] && continue
            [[ -n $(_olmek_cli_option_argument "$line" "${words[i-1]}") ]] && continue
            choices=
            break
        done
        if [[ -n $choices ]]; then
            COMPREPLY=($(compgen -W "$choices" -- "$cur"))
            return
        fi
    fi

    _olmek_cli_files
} &&
    complete -F _olmek_cli olmek-cli
