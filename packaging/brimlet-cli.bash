# bash completion for brimlet-cli                        -*- shell-script -*-
#
# Completes the command, then archive files (.dir, .img, any case), and, for
# the commands that take an ENTRY, the names of the entries in the archive
# already on the line, read with "brimlet-cli list".

_brimlet_cli_archives()
{
    local cur=$1 f
    compopt -o filenames 2>/dev/null
    COMPREPLY+=($(compgen -d -- "$cur"))
    for f in $(compgen -f -- "$cur"); do
        [[ ! -d $f && ( ${f,,} == *.dir || ${f,,} == *.img ) ]] && COMPREPLY+=("$f")
    done
}

_brimlet_cli_entries()
{
    local archive=$1 cur=$2 name
    # x stands for the pair x.dir + x.img.
    [[ -f $archive || -f $archive.dir ]] || return
    # list prints INDEX, START, COUNT and NAME, separated by tabs.
    while IFS=$'\t' read -r _ _ _ name; do
        [[ -n $name && $name == "$cur"* ]] && COMPREPLY+=("$name")
    done < <("${COMP_WORDS[0]}" list "$archive" 2>/dev/null)
}

_brimlet_cli()
{
    local IFS=$'\n'
    local cur=${COMP_WORDS[COMP_CWORD]}
    local commands=$'list\nexport\nadd\nreplace\ndelete\nrename\ncreate\nimport\nextract\nrebuild\ncheck'
    COMPREPLY=()

    if ((COMP_CWORD == 1)); then
        COMPREPLY=($(compgen -W "$commands"$'\n--help\n--version' -- "$cur"))
        return
    fi
    if ((COMP_CWORD == 2)); then
        _brimlet_cli_archives "$cur"
        return
    fi

    local command=${COMP_WORDS[1]} archive=${COMP_WORDS[2]}
    # The archive as the shell will pass it: quotes and backslashes removed,
    # a leading ~/ for the home folder.
    archive=${archive//\\/}
    archive=${archive#[\"\']}; archive=${archive%[\"\']}
    [[ $archive == "~/"* ]] && archive=$HOME/${archive#"~/"}
    local arg=$((COMP_CWORD - 3)) # which argument after ARCHIVE, from 0

    case $command in
        export|replace)
            if ((arg == 0)); then
                _brimlet_cli_entries "$archive" "$cur"
            elif ((arg == 1)); then
                compopt -o filenames 2>/dev/null
                COMPREPLY=($(compgen -f -- "$cur"))
            fi ;;
        delete|rename)
            ((arg == 0)) && _brimlet_cli_entries "$archive" "$cur" ;;
        add|import)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -f -- "$cur")) ;;
        extract)
            if ((arg == 0)); then
                compopt -o filenames 2>/dev/null
                COMPREPLY=($(compgen -d -- "$cur"))
            else
                _brimlet_cli_entries "$archive" "$cur"
            fi ;;
    esac
    return 0
}

complete -F _brimlet_cli brimlet-cli
