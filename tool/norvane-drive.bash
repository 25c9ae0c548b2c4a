# bash completion for norvane-drive(1)

_norvane_drive() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local subcommands="list settings set status clear eject force-eject factory-reset power-check"
    local globals="-d --device --emulate --json --color -v --verbose --trace --timeout -h --help -V --version"

    # --device=VALUE reaches here as three words: the option, "=" and the value.
    if [[ $prev == = && ${COMP_WORDS[COMP_CWORD-2]} == --device ]]; then
        prev=--device
    elif [[ $cur == = && $prev == --device ]]; then
        cur=
    fi

    case $prev in
        -d|--device)
            local word
            for word in "${COMP_WORDS[@]}"; do
                if [[ $word == --emulate ]]; then
                    # The emulated drives are named by letter; the tool lists them.
                    COMPREPLY=($(compgen -W "$("${COMP_WORDS[0]}" --emulate --color never list 2>/dev/null |
                        cut -d ' ' -f 1)" -- "$cur"))
                    return
                fi
            done
            COMPREPLY=($(compgen -W "$(compgen -G '/dev/sr[0-9]*') $(compgen -G '/dev/sg[0-9]*')" -- "$cur"))
            return ;;
        --quiet) COMPREPLY=($(compgen -W "off performance quiet persistent" -- "$cur")); return ;;
        --read-error) COMPREPLY=($(compgen -W "off perfect master" -- "$cur")); return ;;
        --real-time|--eject-at-power-on) COMPREPLY=($(compgen -W "on off" -- "$cur")); return ;;
        --color) COMPREPLY=($(compgen -W "auto always never" -- "$cur")); return ;;
        --interval|--timeout) return ;;
    esac

    # The subcommand is the first word that is neither an option nor an option's value.
    local i subcommand=
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            -d|--device|--color|--quiet|--read-error|--real-time|--eject-at-power-on|--interval|--timeout) ((i++)) ;;
            =) ((i++)) ;;
            -*) ;;
            *) subcommand=${COMP_WORDS[i]}; break ;;
        esac
    done

    local options
    case $subcommand in
        "") if [[ $cur == -* ]]; then options=$globals; else options=$subcommands; fi ;;
        set) options="--quiet --read-error --real-time --eject-at-power-on --save -y --yes" ;;
        list|status) options="-w --watch --interval" ;;
        force-eject|factory-reset|power-check) options="-y --yes" ;;
        *) options= ;;
    esac
    if [[ -n $subcommand ]]; then
        options="$options -h --help -d --device --emulate --json --color -v --verbose --trace --timeout"
    fi
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
}

complete -F _norvane_drive norvane-drive
