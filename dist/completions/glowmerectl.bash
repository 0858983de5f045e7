# bash completion for glowmerectl: global options, commands and each
# command's own options. Keep the lists in step with `glowmerectl --help`
# (a test compares them).

_glowmerectl() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    local global_options="--profile --bridge --timeout --json --verbose --help --version"
    local commands="discover login trust-bridge lights groups on off set group-on group-off group-set all dusk dawn
        rename rename-group make-group remove-group get presets preset-save preset-apply preset-rename
        preset-delete scenes scene-apply scene-save scene-delete schedules schedule-add schedule-enable
        schedule-disable schedule-delete schedule-import schedule-status schedule-delete-all sun explore
        update-check toggle brighter dimmer alert preset-next preset-previous"
    COMPREPLY=()

    case $prev in
    --profile)
        COMPREPLY=($(compgen -d -- "$cur"))
        return
        ;;
    --bridge | --timeout)
        return
        ;;
    esac

    # The command is the first word that is neither an option nor an option's value.
    local i command=
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
        --profile | --bridge | --timeout) ((i++)) ;;
        -*) ;;
        *)
            command=${COMP_WORDS[i]}
            break
            ;;
        esac
    done

    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "$global_options" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        fi
        return
    fi

    local options=
    case $command in
    lights | groups | presets | scenes | explore | schedules | schedule-status | sun) options="--json" ;;
    discover)
        options="--ssdp --json"
        [[ $prev == --ssdp ]] && return
        ;;
    preset-apply | scene-apply)
        options="--transition"
        [[ $prev == --transition ]] && return
        ;;
    dusk | dawn) options="--group" ;;
    alert)
        options="--colour --long --times"
        case $prev in
        --colour)
            COMPREPLY=($(compgen -W "red orange yellow green cyan blue purple magenta pink" -- "$cur"))
            return
            ;;
        --times) return ;;
        esac
        ;;
    schedule-add)
        options="--name --kind --lamp --group --on --off --days --vary --sun --colour"
        case $prev in
        --kind)
            COMPREPLY=($(compgen -W "onoff on off colour listen dawn dusk" -- "$cur"))
            return
            ;;
        --days)
            COMPREPLY=($(compgen -W "mo,tu,we,th,fr mo,tu,we,th,fr,sa,su sa,su" -- "$cur"))
            return
            ;;
        --name | --lamp | --group | --on | --off | --colour) return ;;
        esac
        ;;
    schedule-delete-all) options="--yes" ;;
    all)
        [[ $cur != -* ]] && COMPREPLY=($(compgen -W "on off" -- "$cur"))
        return
        ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options $global_options" -- "$cur"))
    fi
}

complete -F _glowmerectl glowmerectl
