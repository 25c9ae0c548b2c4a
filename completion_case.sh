PATH=$(dirname /work/wt23b/build/host/tool/norvane-drive):$PATH
source /work/wt23b/tool/norvane-drive.bash
COMP_WORDS=(norvane-drive --emulate -d )
[[ "norvane-drive --emulate -d " == *' ' ]] && COMP_WORDS+=('')
COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
_norvane_drive
printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '