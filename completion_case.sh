source /work/wt-tool/tool/norvane-drive.bash
COMP_WORDS=(norvane-drive )
[[ "norvane-drive " == *' ' ]] && COMP_WORDS+=('')
COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
_norvane_drive
printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '