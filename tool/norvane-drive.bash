# bash completion for norvane-drive(1)

# The device nodes of CD/DVD drives: every /dev/sr node, and the /dev/sg
# nodes whose SCSI device reports a CD/DVD (5) or write-once (4) type, as the
# tool itself picks them; a disk's or a tape's generic node is no drive.
# NORVANE_DRIVE_ROOT puts /dev and /sys under another folder.
_norvane_drive_optical_nodes() {
    local root=${NORVANE_DRIVE_ROOT:-} node type
    for node in $(compgen -G "$root/dev/sr[0-9]*"); do
        printf '%s\n' "${node#"$root"}"
    done
    for node in $(compgen -G "$root/dev/sg[0-9]*"); do
        type=
        read -r type 2>/dev/null < "$root/sys/class/scsi_generic/${node##*/}/device/type"
        [[ $type == [45] ]] && printf '%s\n' "${node#"$root"}"
    done
}

_norvane_drive() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local subcommands="list settings set status clear eject force-eject factory-reset power-check"
    local globals="-d --device --emulate --json --color -v --verbose --trace --timeout -h --help -V --version"

    # --option=VALUE reaches here as three words: the option, "=" and the value.
    if [[ $prev == = && ${COMP_WORDS[COMP_CWORD-2]} == --* ]]; then
        prev=${COMP_WORDS[COMP_CWORD-2]}
    elif [[ $cur == = && $prev == --* ]]; then
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
            COMPREPLY=($(compgen -W "$(_norvane_drive_optical_nodes)" -- "$cur"))
            return ;;
        --quiet) COMPREPLY=($(compgen -W "off performance quiet persistent" -- "$cur")); return ;;
        --read-error) COMPREPLY=($(compgen -W "off perfect master" -- "$cur")); return ;;
        --real-time|--eject-at-power-on) COMPREPLY=($(compgen -W "on off" -- "$cur")); return ;;
        --color) COMPREPLY=($(compgen -W "auto always never" -- "$cur")); return ;;
        --interval|--timeout) return ;;
    esac

    # The subcommand is the first word that is neither an option nor an option's
    # value, which follows it as the next word or after an "=" word.
    local i subcommand=
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            -d|--device|--color|--quiet|--read-error|--real-time|--eject-at-power-on|--interval|--timeout)
                if [[ ${COMP_WORDS[i+1]} == = ]]; then ((i += 2)); else ((i++)); fi ;;
            -*) ;;
            *) subcommand=${COMP_WORDS[i]}; break ;;
        esac
    done

    local options
    case $subcommand in
        "") if [[ $cur == -* ]]; then options=$globals; else options=$subcommands; fi ;;
        set) options="--quiet --read-error --real-time --eject-at-power-on --save -y --yes" ;;
        list) options="-w --watch --interval" ;;
        status) options="-w --watch --interval --csv" ;;
        force-eject|factory-reset|power-check) options="-y --yes" ;;
        *) options= ;;
    esac
    if [[ -n $subcommand ]]; then
        options="$options -h --help -d --device --emulate --json --color -v --verbose --trace --timeout"
    fi
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
}

complete -F _norvane_drive norvane-drive
