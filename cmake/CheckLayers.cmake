# Fails when an include points up the layers, naming the file and what it includes.
#
#   cmake -DSOURCE_DIR=<checkout> -P cmake/CheckLayers.cmake
#
# Layers from the ground up; a file may include its own layer and those below it. The
# public headers (include/tilo) stand apart: they include nothing of the SDK's.
set(layers
    platform
    platform/ui
    mediation
    Tilo/base
    Tilo/telemetry
    Tilo/backend
    Tilo/networks
    Tilo/ads
    Tilo/views
    Tilo/hostdrawn  # native ads a host draws itself, loaded as the native view loads
    Tilo/entry
    Tilo/inspector
    TiloObjCBridge
    tools)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "usage: cmake -DSOURCE_DIR=<checkout> -P CheckLayers.cmake")
endif()

# layer_of(PATH OUT): the layer a repository path belongs to, "include" for the public
# headers, or "" for anything else (tests, benchmarks, examples).
function(layer_of path out)
  if(path MATCHES "^include/")
    set(${out} include PARENT_SCOPE)
    return()
  endif()
  set(found "")
  foreach(layer IN LISTS layers)
    string(LENGTH "${layer}/" n)
    string(SUBSTRING "${path}" 0 ${n} prefix)
    if(prefix STREQUAL "${layer}/")
      set(found ${layer})  # the longest match wins: platform/ui over platform
    endif()
  endforeach()
  if(found STREQUAL "" AND path MATCHES "^Tilo/([^/]+)/")
    set(found "Tilo/${CMAKE_MATCH_1}?")  # a folder not placed in the table above
  endif()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

set(problems "")
set(count 0)
file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}"
     "${SOURCE_DIR}/platform/*" "${SOURCE_DIR}/mediation/*" "${SOURCE_DIR}/Tilo/*"
     "${SOURCE_DIR}/TiloObjCBridge/*" "${SOURCE_DIR}/tools/*" "${SOURCE_DIR}/include/*")
list(FILTER sources INCLUDE REGEX "\\.(h|hpp|c|cpp)$")
foreach(source IN LISTS sources)
  math(EXPR count "${count} + 1")
  layer_of("${source}" from)
  if(from MATCHES "\\?$")
    string(APPEND problems "\n  ${source}: its folder is not in the layer table of CheckLayers.cmake")
    continue()
  endif()
  list(FIND layers "${from}" from_rank)
  file(STRINGS "${SOURCE_DIR}/${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "\"([^\"]+)\"")
      continue()
    endif()
    set(written "${CMAKE_MATCH_1}")
    set(included "${written}")
    if(included MATCHES "^tilo/")
      set(included "include/${included}")
    endif()
    layer_of("${included}" to)
    if(to STREQUAL "" OR to STREQUAL from)
      continue()
    endif()
    list(FIND layers "${to}" to_rank)
    if(from STREQUAL "include" OR (NOT to STREQUAL "include" AND to_rank GREATER from_rank)
       OR to MATCHES "\\?$")
      string(APPEND problems "\n  ${source} includes \"${written}\" (${from} may not include ${to})")
    endif()
  endforeach()
endforeach()

if(count EQUAL 0)
  message(FATAL_ERROR "no sources under ${SOURCE_DIR}")
endif()
if(problems)
  message(FATAL_ERROR "includes pointing up the layers:${problems}")
endif()
message(STATUS "${count} files, every include points down")
