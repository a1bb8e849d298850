# Checks that the project's own i686 object code does no floating point on the x87 unit.
# The level table is worked out in IEEE double; x87's 80-bit intermediates would round
# some entries differently from every other target. Where 32-bit programs can run, the
# table digests prove the result; this check holds where they cannot.
# Usage: cmake -DOBJDUMP=<objdump> -DOBJECTS=<a.obj|b.obj|...> -P check_no_x87.cmake
cmake_minimum_required(VERSION 3.20)
foreach(var OBJDUMP OBJECTS)
  if(NOT ${var})
    message(FATAL_ERROR "${var} not given")
  endif()
endforeach()

string(REPLACE "|" ";" objects "${OBJECTS}")
set(found "")
set(count 0)
foreach(object IN LISTS objects)
  if(NOT object MATCHES "\\.(obj|o)$")
    continue()   # a resource script's object holds no code
  endif()
  execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn ${object} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -d ${object} failed (${rc})")
  endif()
  math(EXPR count "${count} + 1")
  # Every x87 mnemonic starts with f; of the instructions that do, only the state saves
  # of fxsave/fxrstor are not x87 arithmetic.
  string(REGEX MATCHALL "\n[ ]*[0-9a-f]+:\t+f[a-z0-9]*[^\n]*" lines "${dump}")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "\tfx(save|rstor)")
      string(STRIP "${line}" line)
      get_filename_component(name ${object} NAME)
      list(APPEND found "${name}: ${line}")
    endif()
  endforeach()
endforeach()
if(count EQUAL 0)
  message(FATAL_ERROR "no object files given")
endif()
if(found)
  list(LENGTH found n)
  list(SUBLIST found 0 20 shown)
  list(JOIN shown "\n  " shown)
  message(FATAL_ERROR "${n} x87 instructions in the project's object code, e.g.:\n  ${shown}")
endif()
message(STATUS "${count} object files, no x87 instructions")
