# bash completion of fvscope's options and their values.
# Made by build/make_docs from the option table in app/command_line.cc.
_fvscope() {
  local cur=${COMP_WORDS[COMP_CWORD]} option=""
  # bash splits --name=value at the '=' into three words.
  if [[ $cur == = ]]; then
    option=${COMP_WORDS[COMP_CWORD-1]} cur=""
  elif [[ $COMP_CWORD -ge 2 && ${COMP_WORDS[COMP_CWORD-1]} == = ]]; then
    option=${COMP_WORDS[COMP_CWORD-2]}
  elif [[ $COMP_CWORD -ge 1 && ${COMP_WORDS[COMP_CWORD-1]} == -C ]]; then
    option=-C
  fi
  case $option in
    -C)
      compopt -o filenames 2>/dev/null
      COMPREPLY=($(compgen -d -- "$cur"))
      return ;;
    --workdir)
      compopt -o filenames 2>/dev/null
      COMPREPLY=($(compgen -d -- "$cur"))
      return ;;
    --engine)
      COMPREPLY=($(compgen -c -- "$cur"))
      return ;;
    --json)
      compopt -o filenames 2>/dev/null
      COMPREPLY=($(compgen -f -- "$cur"))
      return ;;
    --position)
      compopt -o filenames 2>/dev/null
      COMPREPLY=($(compgen -f -- "$cur"))
      return ;;
    --game)
      compopt -o filenames 2>/dev/null
      COMPREPLY=($(compgen -f -- "$cur"))
      return ;;
    --usi)
      COMPREPLY=($(compgen -c -- "$cur"))
      return ;;
    --fv)
      compopt -o filenames 2>/dev/null
      COMPREPLY=($(compgen -f -- "$cur"))
      return ;;
    --img)
      compopt -o filenames 2>/dev/null
      COMPREPLY=($(compgen -d -- "$cur"))
      return ;;
    --html)
      compopt -o filenames 2>/dev/null
      COMPREPLY=($(compgen -f -- "$cur"))
      return ;;
    --compare)
      compopt -o filenames 2>/dev/null
      COMPREPLY=($(compgen -f -- "$cur"))
      return ;;
    --corpus)
      compopt -o filenames 2>/dev/null
      COMPREPLY=($(compgen -f -- "$cur"))
      return ;;
    --packed)
      COMPREPLY=($(compgen -W "psv hcpe" -- "$cur"))
      return ;;
    --partial)
      compopt -o filenames 2>/dev/null
      COMPREPLY=($(compgen -f -- "$cur"))
      return ;;
    --merge)
      compopt -o filenames 2>/dev/null
      COMPREPLY=($(compgen -f -- "$cur"))
      return ;;
    --part)
      COMPREPLY=($(compgen -W "board turn" -- "$cur"))
      return ;;
    --*)
      COMPREPLY=()
      return ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "--workdir= --engine= --utf8 --jobs= --json= --position= --ply= --game= --pv= --usi= --go= --usi-timeout= --fv= --fv-scale= --img= --html= --compare= --pieces --corpus= --from-ply= --scale= --no-usage --activations --packed= --lambda= --shard= --partial= --merge= --progress --no-progress --map= --map= --neuron= --part= --squares= --census --serve --serve= --help --version" -- "$cur"))
    [[ ${COMPREPLY[0]} == *= ]] && compopt -o nospace 2>/dev/null
  else
    # the sort mode: 0 by magnitude, 1 most positive first, 2 most negative first
    COMPREPLY=($(compgen -W "0 1 2" -- "$cur"))
  fi
}
complete -F _fvscope fvscope
