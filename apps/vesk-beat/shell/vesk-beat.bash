# Bash completion for vesk-beat. The options, and the names a setting takes,
# are read from `vesk-beat --help`, so that they are never listed twice.
_vesk_beat() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]} help names
  COMPREPLY=()
  help=$("${COMP_WORDS[0]}" --help 2>/dev/null) || return 0
  case $prev in
    --format) names="text csv json" ;;
    --node-output) names="none stderr" ;;
    --robot | --raw | --jobs | -j) return 0 ;;
    -*)
      # The help of $prev, up to the next option: "one of a, b, c" lists its names.
      local text
      # Its entry: "  --name VALUE  help" or "  -n, --name VALUE  help".
      text=$(awk -v o="$prev" '
        on && /^  -/ { exit }
        on { print; next }
        /^  -/ && ($1 == o || $1 == o "," || $2 == o) { on = 1; sub(/^ *-[^ ]*, /, ""); print }' \
        <<<"$help" | tr -s ' \n' ' ')
      local value
      value=$(awk '{ print $2 }' <<<"$text")
      if [[ $text == *"one of "* ]]; then
        names=$(sed -n 's/.*one of \([^;(]*\).*/\1/p' <<<"$text" | tr -d ',')
      elif [[ $value =~ ^[A-Z] ]]; then
        # A value that is not a name: a file or folder, or a number.
        [[ $value == *FILE* || $value == DIR || $value == PATH ]] &&
          COMPREPLY=($(compgen -f -- "$cur"))
        return 0
      fi
      ;;
  esac
  if [[ -n $names ]]; then
    COMPREPLY=($(compgen -W "$names" -- "$cur"))
  elif [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$(grep -o -- '--\?[a-zA-Z][a-z-]*' <<<"$help" | grep '^-' | sort -u)" -- "$cur"))
  else
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}
complete -o filenames -F _vesk_beat vesk-beat
