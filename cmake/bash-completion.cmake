# Writes the bash completion of screport from its own --help, so that the options it
# completes are always the program's.  cmake -DEXE=... -DOUT=... -P bash-completion.cmake
execute_process(COMMAND ${EXE} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${EXE} --help failed: ${rc}")
endif()
string(REPLACE "\n" ";" lines "${help}")
set(opts "")
set(cases "")
foreach(line IN LISTS lines)
  if(line MATCHES "^  (-[a-zA-Z], )?(--[a-z-]+)( <([^>]*)>)?")
    set(opt ${CMAKE_MATCH_2})
    set(value "${CMAKE_MATCH_4}")
    string(APPEND opts " ${opt}")
    if(value MATCHES "\\|")
      string(REPLACE "|" " " words "${value}")
      string(APPEND cases "    ${opt}) COMPREPLY=($(compgen -W \"${words}\" -- \"$cur\")); return ;;\n")
    elseif(value MATCHES "^(FILE|DATABASE)$")
      string(APPEND cases "    ${opt}) COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n")
    elseif(NOT value STREQUAL "")
      string(APPEND cases "    ${opt}) return ;;\n")
    endif()
  endif()
endforeach()
if(opts STREQUAL "")
  message(FATAL_ERROR "no option found in ${EXE} --help")
endif()
file(WRITE ${OUT} "# bash completion for screport; generated from screport --help at build time.
_screport() {
  local cur=\${COMP_WORDS[COMP_CWORD]} prev=\${COMP_WORDS[COMP_CWORD-1]}
  COMPREPLY=()
  case $prev in
${cases}  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W \"${opts}\" -- \"$cur\"))
  else
    COMPREPLY=($(compgen -f -- \"$cur\"))
  fi
}
complete -o filenames -F _screport screport
")
