# bash completion for vaultpost
_vaultpost() {
  local cur prev words cword
  _init_completion || return
  if ((cword == 1)); then
    COMPREPLY=($(compgen -W 'open inspect thumbnail pack verify --help --version' -- "$cur"))
    return
  fi
  case ${words[1]} in
    open)
      case $prev in
        --password-file) _filedir; return ;;
        --user) return ;;
      esac
      if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--gui --tui --user --password-stdin --password-file' -- "$cur"))
      else
        _filedir '@(emc|emd|oed)'
      fi
      ;;
    pack)
      case $prev in
        -o | --output | --password-file | --icon) _filedir; return ;;
        --user | --iterations | --expires | --level | --title | --prompt | --link | --link-text | --text) return ;;
      esac
      if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '-o --output --force --user --password-stdin --password-file --generate-password
          --no-password --iterations --expires --store --level --title --prompt --link --link-text --text --icon
          --help' -- "$cur"))
      else
        _filedir
      fi
      ;;
    verify)
      case $prev in
        --password-file) _filedir; return ;;
        --user) return ;;
      esac
      if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--user --password-stdin --password-file --help' -- "$cur"))
      else
        _filedir '@(emc|emd|oed)'
      fi
      ;;
    inspect)
      if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--json' -- "$cur"))
      else
        _filedir '@(emc|emd|oed)'
      fi
      ;;
    thumbnail)
      case $cword in
        2) _filedir '@(emc|emd|oed)' ;;
        3) _filedir png ;;
        4) COMPREPLY=($(compgen -W '128 256 512 1024' -- "$cur")) ;;
      esac
      ;;
  esac
} &&
  complete -F _vaultpost vaultpost
