# Writes the linker script that places the functions a host's start runs next to each other
# at the front of libtilo.so's code (included from CMakeLists.txt with LIST and OUTPUT set;
# sets TILO_STARTUP_ORDER_SCRIPT to the script, or leaves it empty where it cannot).
#
# The kernel maps a library's code in 64 kB windows around each page first run, so a start
# that calls 500 functions spread over the whole library keeps most of its 3.6 MB resident;
# packed together they take a few hundred kB. The list is a profile
# (bench/memory/profile_startup.sh); a function it names that no longer exists is skipped,
# one it lacks stays where the compiler put it, so a stale list costs memory, never
# correctness. It needs one section a function (-ffunction-sections).
#
# The script is the linker's own default for a shared library with the list added at the
# head of .text: the functions stay inside .text, where debuggers, profilers and valgrind
# look for code.
set(TILO_STARTUP_ORDER_SCRIPT "")
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/generated)  # absent in a fresh build folder
execute_process(
  COMMAND ${CMAKE_CXX_COMPILER} -shared -nostdlib -Wl,--verbose -o ${CMAKE_CURRENT_BINARY_DIR}/generated/empty.so -x c /dev/null
  OUTPUT_VARIABLE verbose ERROR_QUIET RESULT_VARIABLE failed)
string(FIND "${verbose}" "==================================================" first)
string(FIND "${verbose}" "==================================================" last REVERSE)
if(failed OR first EQUAL -1 OR last LESS_EQUAL first)
  message(STATUS "Start-up function order: the linker shows no default script; left out")
  return()
endif()
string(SUBSTRING "${verbose}" ${first} -1 rest)
string(FIND "${rest}" "\n" newline)
math(EXPR begin "${first} + ${newline} + 1")
math(EXPR length "${last} - ${begin}")
string(SUBSTRING "${verbose}" ${begin} ${length} script)
set(head "  .text           :\n  {\n")
string(FIND "${script}" "${head}" at)
if(at EQUAL -1)
  message(STATUS "Start-up function order: no .text rule in the linker's script; left out")
  return()
endif()
file(STRINGS ${LIST} names REGEX "^[A-Za-z_][A-Za-z0-9_.$]*$")
set(order "    /* Generated from cmake/startup-functions.txt by cmake/StartupOrder.cmake. */\n")
foreach(name IN LISTS names)
  # A complete-object constructor or destructor (C1, D1) is an alias of the base-object one
  # (C2, D2), whose section it is; a function the compiler found to run only at start-up has
  # its own prefix.
  string(REPLACE "C1E" "C2E" base "${name}")
  string(REGEX REPLACE "D1Ev$" "D2Ev" base "${base}")
  set(sections ".text.${name} .text.startup.${name}")
  if(NOT base STREQUAL name)
    string(APPEND sections " .text.${base}")
  endif()
  string(APPEND order "    *(${sections})\n")
endforeach()
string(REPLACE "${head}" "${head}${order}" script "${script}")
file(WRITE ${OUTPUT}.tmp "${script}")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
set(TILO_STARTUP_ORDER_SCRIPT ${OUTPUT})
