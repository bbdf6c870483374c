# bash completion for kestrow-cli: commands, options, category names, and the indexes of the backups
# that `kestrow-cli list` finds under the root the command line names.

_kestrow_cli_options() {
    case $1 in
        list | contacts | calls | messages | calendar | safari | voicemail | photos) echo --json ;;
        files) echo --json --app --type ;;
        extract) echo --no-times ;;
        extract-all) echo --flat --domains --jobs --no-times ;;
        notes) echo --json --notes-password-file ;;
        export) echo --format --rows --notes-password-file --by-month ;;
        check) echo --deep --json ;;
        mount) echo --domains ;;
        search) echo --category --json --csv --notes-password-file ;;
        timeline) echo --category --json --csv --from --to ;;
    esac
}

# What the positional argument number $2 (0 the first) of command $1 is.
_kestrow_cli_argument() {
    case $1:$2 in
        device:* | list:*) ;;
        refresh:0) echo udid ;;
        export:1) echo category ;;
        extract:2) echo path ;;
        extract-all:1 | export:2 | mount:1) echo folder ;;
        *:0) echo index ;;
    esac
}

_kestrow_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local commands="list device check-password open refresh files extract extract-all contacts calls
        messages calendar notes safari voicemail photos export check mount search timeline log"
    local categories="contacts messages calls calendar notes safari voicemail files"
    local command="" root=() positional=0 i word
    COMPREPLY=()

    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        case $word in
            --root)
                root=(--root "${COMP_WORDS[i + 1]/#\~/$HOME}")
                ((i++))
                ;;
            --password-file | --type | --jobs | --format | --rows | --notes-password-file | --category | \
                --csv | --from | --to) ((i++)) ;;
            -*) ;;
            *) if [[ -z $command ]]; then command=$word; else ((positional++)); fi ;;
        esac
    done

    case $prev in
        --root)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
            return
            ;;
        --password-file | --notes-password-file | --csv)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return
            ;;
        --category)
            mapfile -t COMPREPLY < <(compgen -W "$categories" -- "$cur")
            return
            ;;
        --format)
            mapfile -t COMPREPLY < <(compgen -W "0 1 2 3" -- "$cur")
            return
            ;;
        --type | --jobs | --rows | --from | --to) return ;;
    esac

    if [[ $cur == -* ]]; then
        local options="--root --password-file --help"
        if [[ -z $command ]]; then
            options+=" --version"
        fi
        mapfile -t COMPREPLY < <(compgen -W "$options $(_kestrow_cli_options "$command")" -- "$cur")
        return
    fi
    if [[ -z $command ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$commands" -- "$cur")
        return
    fi
    case $(_kestrow_cli_argument "$command" "$positional") in
        index)
            mapfile -t COMPREPLY < <(compgen -W "$("${COMP_WORDS[0]}" "${root[@]}" list 2>/dev/null | cut -f1)" \
                -- "$cur")
            ;;
        udid)
            mapfile -t COMPREPLY < <(compgen -W "$(idevice_id -l 2>/dev/null)" -- "$cur")
            ;;
        category)
            mapfile -t COMPREPLY < <(compgen -W "$categories photos" -- "$cur")
            ;;
        path)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            ;;
        folder)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
            ;;
    esac
}

complete -F _kestrow_cli kestrow-cli
