# bash completion for telnormer-batch, vdbtool and telnormer-host. The options come from each
# program's own --help, so that completion offers exactly what the program takes.

_telnormer_files() {
    # A database is a .vdb file or a postgresql:// URI.
    if [[ $cur == postgresql:* ]]; then
        return
    fi
    _filedir "$1"
}

_telnormer_batch() {
    local cur prev words cword
    _init_completion || return
    case $prev in
        --password-file | --undo) _filedir; return ;;
        --report) _filedir csv; return ;;
        --on-error) mapfile -t COMPREPLY < <(compgen -W 'continue stop rollback' -- "$cur"); return ;;
        --user | --prefix | --threads | --field | --run) return ;;
    esac
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W '$(_parse_help "$1")' -- "$cur")
        return
    fi
    _telnormer_files vdb
}
complete -F _telnormer_batch telnormer-batch

_telnormer_host() {
    local cur prev words cword
    _init_completion || return
    case $prev in
        --password-file) _filedir; return ;;
        --user) return ;;
    esac
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W '$(_parse_help "$1")' -- "$cur")
        return
    fi
    _telnormer_files vdb
}
complete -F _telnormer_host telnormer-host

_vdbtool() {
    local cur prev words cword
    _init_completion || return
    if ((cword == 1)); then
        mapfile -t COMPREPLY < <(compgen -W 'create import export mark unmark user location info
            demo help --help --help-all --version' -- "$cur")
        return
    fi
    local command=${words[1]}
    if [[ $command == user ]] && ((cword == 2)); then
        mapfile -t COMPREPLY < <(compgen -W 'add passwd rights remove' -- "$cur")
        return
    fi
    case $prev in
        --schema) _filedir json; return ;;
        --password-file) _filedir; return ;;
        --records | --seed | --country | --area-code) return ;;
    esac
    # Only a command's own help is ever run, never a word the user typed.
    case $command in
        create | import | export | mark | unmark | user | location | info | demo | help) ;;
        *) return ;;
    esac
    if [[ $cur == -* ]]; then
        # The command's options stand in its usage lines.
        local options
        options="$(_parse_usage "$1" "$command --help") --help"
        [[ $command == mark || $command == unmark ]] && options+=" --all"
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
        return
    fi
    case $command in
        import) if ((cword == 4)); then _filedir csv; else _telnormer_files vdb; fi ;;
        help) ((cword == 2)) && mapfile -t COMPREPLY < <(compgen -W 'create import export mark
            unmark user location info demo' -- "$cur") ;;
        *) _telnormer_files vdb ;;
    esac
}
complete -F _vdbtool vdbtool
