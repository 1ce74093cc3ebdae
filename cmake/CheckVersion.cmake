# Fails unless the version macros of HEADER (TILO_VERSION_MAJOR, _MINOR, _PATCH) spell
# VERSION, the project's version, so that a release cannot ship headers of another one.
#   cmake -DHEADER=include/tilo/tilo.h -DVERSION=1.1.44 -P CheckVersion.cmake
file(READ "${HEADER}" text)
set(found)
foreach(part MAJOR MINOR PATCH)
  if(NOT text MATCHES "#define TILO_VERSION_${part} ([0-9]+)\n")
    message(FATAL_ERROR "${HEADER} defines no TILO_VERSION_${part}")
  endif()
  list(APPEND found ${CMAKE_MATCH_1})
endforeach()
list(JOIN found "." found)
if(NOT found STREQUAL VERSION)
  message(FATAL_ERROR "${HEADER} says version ${found}, the project is ${VERSION}: "
                      "change both together")
endif()
message(STATUS "tilo.h and the project agree on ${VERSION}")
