# bash completion for kva(1): its commands, each command's options, and
# files or folders where they go.

_kva_options() {
    case $1 in
        seal) echo --cipher -f --force --skip-unreadable --password-file --password-stdin ;;
        open) echo -f --force --skip-existing --remove-original --password-file --password-stdin ;;
        pack) echo --append -f --force --skip-unreadable ;;
        measure) echo --package ;;
        unpack) echo -f --force --skip-existing ;;
        list) echo --password-file --password-stdin ;;
        encrypt) echo --cipher --carrier --offset -f --force --password-file --password-stdin ;;
        decrypt) echo --offset -f --force --password-file --password-stdin ;;
        info) echo --offset ;;
    esac
}

_kva() {
    local cur prev words cword split
    _init_completion -s || return

    case $prev in
        --cipher)
            COMPREPLY=($(compgen -W '1 2 3' -- "$cur"))
            return
            ;;
        --offset)
            return
            ;;
        --password-file | --carrier | --package)
            _filedir
            return
            ;;
    esac
    $split && return

    # The command, and how many of its operands come before the word being
    # completed (the values of options do not count).
    local command="" operands=0 i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --cipher | --offset | --password-file | --carrier | --package) ((i++)) ;;
            -*) ;;
            *)
                if [[ -z $command ]]; then
                    command=${words[i]}
                else
                    ((operands++))
                fi
                ;;
        esac
    done

    if [[ -z $command ]]; then
        COMPREPLY=($(compgen -W 'seal open pack unpack list measure encrypt decrypt info
            help --help --version' -- "$cur"))
        return
    fi
    if [[ $command == help ]]; then
        ((operands == 0)) &&
            COMPREPLY=($(compgen -W 'seal open pack unpack list measure encrypt decrypt info' -- "$cur"))
        return
    fi

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$(_kva_options "$command") -h --help" -- "$cur"))
        return
    fi

    # open and unpack take a folder second; every other operand is a file
    # (or a tree to pack), or - for standard input or output.
    local count
    case $command in
        list | measure | info) count=1 ;;
        seal | open | pack | unpack | encrypt | decrypt) count=2 ;;
        *) return ;;
    esac
    ((operands < count)) || return
    if [[ $command == @(open|unpack) && $operands -eq 1 ]]; then
        _filedir -d
    else
        _filedir
    fi
} &&
    complete -F _kva kva
