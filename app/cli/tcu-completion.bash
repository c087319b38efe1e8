# Bash completion for tcu. Source it (". app/cli/tcu-completion.bash") or copy it to
# /usr/share/bash-completion/completions/tcu.
_tcu() {
    local cur prev command word i
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    local commands="detect info get set save load factory regkey upgrade ports map"
    local options="--port --device --baud --json --quiet --help --version"
    local settings="RSBAUD RSPRTY RSBITS RSSTOP RSDELY RSCTSE SPVOLU PREFIX PRECID SUFFIX
        SUFFCR CD39EN CD39SS CD128E PDF417 MAG1EN MAG2EN MAG3EN MAGLRC MAGRAW NOREAD POWSET
        SPPOWB SPPARA SERIEN REGIEN"

    case $prev in
    --port)
        COMPREPLY=($(compgen -W "1 2 3 4 5 6" -- "$cur"))
        return ;;
    --baud)
        COMPREPLY=($(compgen -W "1200 2400 4800 9600 19200 38400 57600 115200" -- "$cur"))
        return ;;
    --device)
        COMPREPLY=($(compgen -f -- "${cur:-/dev/serial/by-id/}"))
        return ;;
    esac

    command=
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        case $word in
        --port | --device | --baud) ((i++)) ;;
        -*) ;;
        *) command=$word; break ;;
        esac
    done

    if [[ $cur == -* && $command != upgrade ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    case $command in
    "") COMPREPLY=($(compgen -W "$commands" -- "$cur")) ;;
    get) COMPREPLY=($(compgen -W "$settings" -- "$cur")) ;;
    set)
        compopt -o nospace 2>/dev/null
        COMPREPLY=($(compgen -W "$(printf '%s= ' $settings)" -- "$cur")) ;;
    save | load) COMPREPLY=($(compgen -f -- "$cur")) ;;
    map)
        # map N DEVICE: the number, then a device path.
        if ((COMP_CWORD - i == 1)); then
            COMPREPLY=($(compgen -W "1 2 3 4 5 6" -- "$cur"))
        else
            COMPREPLY=($(compgen -f -- "${cur:-/dev/serial/by-id/}"))
        fi ;;
    upgrade)
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "--fast --yes --force --wait" -- "$cur"))
        else
            COMPREPLY=($(compgen -f -- "$cur"))
        fi ;;
    esac
}
complete -F _tcu tcu
