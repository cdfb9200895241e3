# bash completion for kvrctl700-cli: its sub-commands, their options (those each one's --help
# lists), the values --format takes for each, adapter names and plan files.

_kvrctl700_cli()
{
    local cur prev words cword
    _init_completion || return

    local command='' word
    for word in "${words[@]:1:cword-1}"; do
        case $word in
            search | identify | set | apply)
                command=$word
                break
                ;;
        esac
    done

    case $prev in
        -i | --interface)
            COMPREPLY=($(compgen -W "$(command ls /sys/class/net 2>/dev/null)" -- "$cur"))
            return
            ;;
        --format)
            case $command in
                search) COMPREPLY=($(compgen -W 'table json jsonl csv' -- "$cur")) ;;
                identify) COMPREPLY=($(compgen -W 'text jsonl' -- "$cur")) ;;
                set | apply) COMPREPLY=($(compgen -W 'table json jsonl' -- "$cur")) ;;
            esac
            return
            ;;
        --timeout | --rounds | --quiet | --seconds | --ip | --mask | --gateway | --restart-wait | \
            --verify-timeout | --batch-size)
            return
            ;;
    esac

    local common='-i --interface --timeout --rounds --quiet -h --help'
    local writing='--dry-run --no-verify --restart-wait --verify-timeout --batch-size --format'

    case $command in
        '')
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W '-h --help --version' -- "$cur"))
            else
                COMPREPLY=($(compgen -W 'search identify set apply' -- "$cur"))
            fi
            ;;
        search)
            COMPREPLY=($(compgen -W "$common --format" -- "$cur"))
            ;;
        identify)
            COMPREPLY=($(compgen -W "$common --seconds --format" -- "$cur"))
            ;;
        set)
            COMPREPLY=($(compgen -W "$common $writing --ip --mask --gateway" -- "$cur"))
            ;;
        apply)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W "$common $writing" -- "$cur"))
            else
                _filedir csv
            fi
            ;;
    esac
} &&
    complete -F _kvrctl700_cli kvrctl700-cli
