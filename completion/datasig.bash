# SPDX-License-Identifier: MIT
# bash completion of datasig: its commands, each command's options, and the
# names of files (installed as share/bash-completion/completions/datasig).

# The names of files and folders that begin with the word being completed.
_datasig_files()
{
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$1")
}

_datasig()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()
    if ((COMP_CWORD == 1)); then
        mapfile -t COMPREPLY < <(compgen -W 'sign explain check --help --version' -- "$cur")
        return
    fi
    # --files-from=LIST reaches here as three words: --files-from, = and LIST.
    if [[ $prev == = ]] && ((COMP_CWORD > 2)); then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
        [[ $prev == --files-from ]] && _datasig_files "$cur"
        return
    fi
    [[ $cur == = ]] && cur=
    local options
    case ${COMP_WORDS[1]} in
    sign) options='-o -i' ;;
    explain) options='--json' ;;
    check) options='-r --quiet --status --jobs --files-from -0 --null --json' ;;
    *) return ;;
    esac
    case $prev in
    -o | --files-from)
        _datasig_files "$cur"
        return
        ;;
    --jobs) return ;;
    esac
    # After -- every word is a name.
    local i
    for ((i = 2; i < COMP_CWORD; i++)); do
        [[ ${COMP_WORDS[i]} == -- ]] && options=
    done
    if [[ $cur == -* && -n $options ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$options --" -- "$cur")
        return
    fi
    _datasig_files "$cur"
}

complete -F _datasig datasig
