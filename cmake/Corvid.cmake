# Build rules shared by every target of ours.

set(CORVID_WARNINGS
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
  -Wcast-qual -Wformat=2 -Wno-format-nonliteral -Wimplicit-fallthrough)
# Errors for our own builds and CI only: a packager's newer compiler or other
# flags may warn where ours do not, and that must not stop their build.
if(CORVID_WERROR)
  list(APPEND CORVID_WARNINGS -Werror)
endif()

if(CORVID_LIBFUZZER AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "CORVID_LIBFUZZER needs clang (CC=clang CXX=clang++)")
endif()

if(CORVID_SANITIZE OR CORVID_LIBFUZZER)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# The fuzzer is guided by coverage of the code under test, so all our code
# carries the instrumentation; only the fuzz targets link libFuzzer itself.
if(CORVID_LIBFUZZER)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# corvid_library(NAME SOURCES ... DEPENDS ...)
# One static library per subsystem; DEPENDS lists the subsystems below it,
# which keeps the arrows visible and checked by the build.
function(corvid_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS;PRIVATE" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(${name} PRIVATE ${CORVID_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} PRIVATE ${ARG_PRIVATE})
endfunction()

function(corvid_program name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${CORVID_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS})
endfunction()

# Message-table DLLs from .mc sources, made by the real resource tools of
# binutils-mingw-w64 (windmc, windres, ld), so that our reader is checked
# against what a real resource compiler writes. CORVID_MESSAGE_TOOLS is off
# when the tools are missing, and whatever needs the DLLs then skips.
find_program(CORVID_WINDMC x86_64-w64-mingw32-windmc)
find_program(CORVID_WINDRES x86_64-w64-mingw32-windres)
find_program(CORVID_PE_LD x86_64-w64-mingw32-ld)
find_program(CORVID_CPP cpp)
if(CORVID_WINDMC AND CORVID_WINDRES AND CORVID_PE_LD AND CORVID_CPP)
  set(CORVID_MESSAGE_TOOLS ON)
else()
  set(CORVID_MESSAGE_TOOLS OFF)
endif()

# corvid_message_dll(NAME MC <file> OUTPUT_DIR <dir> [RC <file>] BITS 32|64
#                    WINDMC <options>): <dir>/NAME.dll; appends it to the
# caller's variable CORVID_MESSAGE_DLLS.
function(corvid_message_dll output)
  cmake_parse_arguments(ARG "" "MC;RC;BITS;OUTPUT_DIR" "WINDMC" ${ARGN})
  get_filename_component(stem ${ARG_MC} NAME_WE)
  set(work ${ARG_OUTPUT_DIR}/${output}.work)
  set(rc ${work}/${stem}.rc)
  if(ARG_RC)
    set(rc ${ARG_RC})
  endif()
  if(ARG_BITS EQUAL 32)
    # binutils for x86-64 ship no i386 link script; ours lays out resources only.
    set(target pe-i386)
    set(link -m i386pe -T ${PROJECT_SOURCE_DIR}/cmake/resource_only.x)
  else()
    set(target pe-x86-64)
    set(link -m i386pep)
  endif()
  add_custom_command(
    OUTPUT ${ARG_OUTPUT_DIR}/${output}.dll
    COMMAND ${CMAKE_COMMAND} -E make_directory ${work}
    COMMAND ${CORVID_WINDMC} ${ARG_WINDMC} -b -h ${work} -r ${work} ${ARG_MC}
    COMMAND ${CORVID_WINDRES} --preprocessor=${CORVID_CPP} -F ${target} -I ${work}
            -i ${rc} -O coff -o ${work}/${output}.o
    COMMAND ${CORVID_PE_LD} ${link} --dll -e 0 -o ${ARG_OUTPUT_DIR}/${output}.dll ${work}/${output}.o
    DEPENDS ${ARG_MC} ${ARG_RC} ${PROJECT_SOURCE_DIR}/cmake/resource_only.x
    COMMENT "Building message DLL ${output}.dll"
    VERBATIM)
  set(CORVID_MESSAGE_DLLS ${CORVID_MESSAGE_DLLS} ${ARG_OUTPUT_DIR}/${output}.dll PARENT_SCOPE)
endfunction()
