# bash completion for kelvane-cli                          -*- shell-script -*-
# kelvane-cli itself says what may stand at the cursor, from the declarations
# its help comes from; ":files" leaves the file names to bash.

_kelvane_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} line
    local program=${COMP_WORDS[0]}
    [[ $program == "~/"* ]] && program=$HOME/${program#"~/"}
    # bash ends "--db=" in the word "=": the value starts after it.
    [[ $cur == "=" ]] && cur=
    COMPREPLY=()
    while IFS= read -r line; do
        if [[ $line == ":files" ]]; then
            compopt -o filenames 2>/dev/null
            while IFS= read -r line; do
                COMPREPLY+=("$line")
            done < <(compgen -f -- "$cur")
        else
            COMPREPLY+=("$line")
        fi
    done < <("$program" --complete "$COMP_CWORD" "${COMP_WORDS[@]}" 2>/dev/null)
}
complete -F _kelvane_cli kelvane-cli
