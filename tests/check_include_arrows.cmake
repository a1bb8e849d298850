# Fails when a folder includes a header from a folder it must not depend on. The
# arrows point one way: engine <- dialog <- host, engine <- cli, engine <- frei0r, engine <- obs; the host's binary
# interface stays in host/, and engine/ knows no front end. A new front end adds its
# line below. Usage: cmake -DROOT=<source tree> -P check_include_arrows.cmake
cmake_minimum_required(VERSION 3.20)

set(may_include_engine engine)
set(may_include_dialog engine dialog)
set(may_include_host   engine dialog host)
set(may_include_cli    engine cli)
set(may_include_frei0r engine frei0r)
set(may_include_obs    engine obs)
set(rooms engine dialog host cli frei0r obs)

# Which folder each header lives in, by the name it is included with.
foreach(room IN LISTS rooms)
  file(GLOB_RECURSE headers "${ROOT}/${room}/*.h")
  foreach(header IN LISTS headers)
    get_filename_component(header "${header}" NAME)
    set("home_${header}" ${room})
  endforeach()
endforeach()

set(faults "")
foreach(room IN LISTS rooms)
  file(GLOB_RECURSE files "${ROOT}/${room}/*.h" "${ROOT}/${room}/*.cpp" "${ROOT}/${room}/*.rc")
  foreach(file IN LISTS files)
    file(STRINGS "${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[^\"]*\"([^\"]*)\".*$" "\\1" included "${line}")
      get_filename_component(name "${included}" NAME)
      set(home "${home_${name}}")
      if(home AND NOT home IN_LIST may_include_${room})
        file(RELATIVE_PATH shown "${ROOT}" "${file}")
        string(APPEND faults "\n  ${shown} includes ${home}/${name}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(faults)
  message(FATAL_ERROR "includes against the dependency arrows:${faults}")
endif()
