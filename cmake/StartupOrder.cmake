# Writes the linker script that places the functions a host's start runs next to each other
# at the front of libtilo.so's code (included from CMakeLists.txt with LIST and OUTPUT set).
#
# The kernel maps a library's code in 64 kB windows around each page first run, so a start
# that calls 500 functions spread over the whole library keeps most of its 3.6 MB resident;
# packed together they take a few hundred kB. The list is a profile
# (bench/memory/profile_startup.sh); a function it names that no longer exists is skipped,
# one it lacks stays where the compiler put it, so a stale list costs memory, never
# correctness. It needs one section a function (-ffunction-sections).
file(STRINGS ${LIST} names REGEX "^[A-Za-z_][A-Za-z0-9_.$]*$")
set(script "/* Generated from ${LIST} by cmake/StartupOrder.cmake. */\nSECTIONS\n{\n  .text.tilo_startup :\n  {\n")
foreach(name IN LISTS names)
  string(APPEND script "    *(.text.${name})\n")
endforeach()
string(APPEND script "  }\n}\nINSERT BEFORE .text;\n")
file(WRITE ${OUTPUT}.tmp "${script}")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
