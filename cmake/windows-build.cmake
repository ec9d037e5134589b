# The Windows build: Vantorelix.dll, its type library and the test programs that run under Wine.

set(GEN_DIR ${CMAKE_BINARY_DIR}/generated)
file(MAKE_DIRECTORY ${GEN_DIR})
set(IDL ${CMAKE_SOURCE_DIR}/automation/Vantorelix.idl)
set(WINE_IDL_DIR /usr/include/wine/wine/windows)

# widl: the type library and the header as separate runs (with both at once it ignores -o for
# the type library).
# widl stamps the type library with the time it ran: that time is made a fixed one.
add_custom_command(
  OUTPUT ${GEN_DIR}/Vantorelix.tlb
  COMMAND ${WIDL} ${WIDL_ARCH} -I${WINE_IDL_DIR} -L ${WINE_PE_DIR} -t -o ${GEN_DIR}/Vantorelix.tlb ${IDL}
  COMMAND python3 ${CMAKE_SOURCE_DIR}/cmake/tlb-fixed-time.py ${GEN_DIR}/Vantorelix.tlb
  DEPENDS ${IDL} ${CMAKE_SOURCE_DIR}/cmake/tlb-fixed-time.py VERBATIM)
add_custom_command(
  OUTPUT ${GEN_DIR}/Vantorelix.h
  COMMAND ${WIDL} ${WIDL_ARCH} -I${WINE_IDL_DIR} -h -o ${GEN_DIR}/Vantorelix.h ${IDL}
  DEPENDS ${IDL} VERBATIM)
add_custom_command(
  OUTPUT ${GEN_DIR}/Vantorelix_i.c
  COMMAND ${WIDL} ${WIDL_ARCH} -I${WINE_IDL_DIR} -u -o ${GEN_DIR}/Vantorelix_i.c ${IDL}
  DEPENDS ${IDL} VERBATIM)
add_custom_target(vantorelix_idl DEPENDS ${GEN_DIR}/Vantorelix.tlb ${GEN_DIR}/Vantorelix.h ${GEN_DIR}/Vantorelix_i.c)

set(WARNINGS -Wall -Wextra -Werror -Wno-missing-field-initializers -Wno-cast-function-type)

# One version number, the project's: VERSIONINFO (file and product version) and the
# side-by-side manifest's assembly identity take it in four parts, the installer and the
# release files in three (version.txt, read by scripts/package). The type library keeps its
# own version (1.0): compiled callers bind to it.
set(VANTORELIX_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
set(VANTORELIX_VERSION_DOTTED ${VANTORELIX_VERSION}.0)
set(VANTORELIX_VERSION_COMMAS ${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0)
configure_file(${CMAKE_SOURCE_DIR}/server/version.h.in ${GEN_DIR}/version.h @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/server/Vantorelix.manifest.in ${GEN_DIR}/Vantorelix.manifest @ONLY)
file(WRITE ${CMAKE_BINARY_DIR}/version.txt "${VANTORELIX_VERSION}\n")

# The same commit gives the same bytes wherever it is built: no time stamp in the PE headers,
# and the source and build folders never reach the objects (__FILE__, assertions). The build
# tree may lie inside the source tree: its map comes last, and the last match wins.
add_compile_options(
  "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=>"
  "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}/=>")
set(VANTORELIX_REPRODUCIBLE_LINK -Wl,--no-insert-timestamp)


# The interface identifiers, shared by the DLL and the test programs.
add_library(vantorelix_ids STATIC ${GEN_DIR}/Vantorelix_i.c)
add_dependencies(vantorelix_ids vantorelix_idl)

# Every source of the server but its exported entry points: the DLL links it, and so does the
# in-process frame test, which starts the server inside its own executable.
# (The structured-exception capture, utils/seh_capture.cpp, is built apart, so that the fault
# tests can also run it built with other flags.)
set(VANTORELIX_CORE_SOURCES
  ${CMAKE_SOURCE_DIR}/automation/ansi.cpp
  ${CMAKE_SOURCE_DIR}/automation/comobject.cpp
  ${CMAKE_SOURCE_DIR}/automation/errors.cpp
  ${CMAKE_SOURCE_DIR}/automation/fastdispatch.cpp
  ${CMAKE_SOURCE_DIR}/automation/text_logic.cpp
  ${CMAKE_SOURCE_DIR}/automation/variant_logic.cpp
  ${CMAKE_SOURCE_DIR}/automation/variants.cpp
  ${CMAKE_SOURCE_DIR}/server/classmanager.cpp
  ${CMAKE_SOURCE_DIR}/server/comserver.cpp
  ${CMAKE_SOURCE_DIR}/server/factory.cpp
  ${CMAKE_SOURCE_DIR}/server/registration.cpp
  ${CMAKE_SOURCE_DIR}/utils/TUtils.cpp
  ${CMAKE_SOURCE_DIR}/utils/color_logic.cpp
  ${CMAKE_SOURCE_DIR}/utils/desktop.cpp
  ${CMAKE_SOURCE_DIR}/utils/errmsg.cpp
  ${CMAKE_SOURCE_DIR}/utils/filetime_logic.cpp
  ${CMAKE_SOURCE_DIR}/utils/filetimes.cpp
  ${CMAKE_SOURCE_DIR}/utils/identifiers.cpp
  ${CMAKE_SOURCE_DIR}/utils/paths.cpp
  ${CMAKE_SOURCE_DIR}/utils/relpath_logic.cpp
  ${CMAKE_SOURCE_DIR}/utils/seh_message_logic.cpp
  ${CMAKE_SOURCE_DIR}/utils/timing_sound.cpp)

set(VANTORELIX_DEFINES UNICODE _UNICODE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)
set(VANTORELIX_SYSTEM_LIBS ole32 oleaut32 uuid user32 advapi32 winmm shlwapi mpr)
# Static runtime: the DLL and the test programs import system DLLs only.
set(VANTORELIX_STATIC_LINK -static -static-libgcc -static-libstdc++)

add_library(vantorelix_base STATIC ${VANTORELIX_CORE_SOURCES})
add_dependencies(vantorelix_base vantorelix_idl)
target_include_directories(vantorelix_base PUBLIC ${CMAKE_SOURCE_DIR} ${GEN_DIR})
target_compile_definitions(vantorelix_base PUBLIC ${VANTORELIX_DEFINES})
target_compile_options(vantorelix_base PRIVATE ${WARNINGS})
target_link_libraries(vantorelix_base PUBLIC vantorelix_ids ${VANTORELIX_SYSTEM_LIBS})

# The capture as an object library; further arguments are compile options added after the
# build's own (a later -O wins).
function(vantorelix_capture_library name)
  add_library(${name} OBJECT ${CMAKE_SOURCE_DIR}/utils/seh_capture.cpp)
  add_dependencies(${name} vantorelix_idl)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${GEN_DIR})
  target_compile_definitions(${name} PRIVATE ${VANTORELIX_DEFINES})
  target_compile_options(${name} PRIVATE ${WARNINGS} ${ARGN})
endfunction()
vantorelix_capture_library(vantorelix_capture)

# The core: the server's sources with the capture. Its objects go straight into each program
# that links it, ahead of the base library, so the two find each other in either direction.
add_library(vantorelix_core INTERFACE)
target_sources(vantorelix_core INTERFACE $<TARGET_OBJECTS:vantorelix_capture>)
target_link_libraries(vantorelix_core INTERFACE vantorelix_base)

# The resources: the type library as TYPELIB 1, the frame's texts, the version.
set(VANTORELIX_RC ${CMAKE_SOURCE_DIR}/server/Vantorelix.rc)
set_source_files_properties(${VANTORELIX_RC} PROPERTIES
  OBJECT_DEPENDS "${GEN_DIR}/Vantorelix.tlb;${GEN_DIR}/Vantorelix.manifest;${GEN_DIR}/version.h")

# A Vantorelix.dll with the given capture object library, written to `directory`. The link
# map beside it names where the capture's handler lies in the stripped image.
function(vantorelix_dll target capture directory)
  add_library(${target} SHARED ${CMAKE_SOURCE_DIR}/server/exports.cpp ${VANTORELIX_RC}
    ${CMAKE_SOURCE_DIR}/server/Vantorelix.def $<TARGET_OBJECTS:${capture}>)
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME Vantorelix
    RUNTIME_OUTPUT_DIRECTORY ${directory} LIBRARY_OUTPUT_DIRECTORY ${directory} ARCHIVE_OUTPUT_DIRECTORY ${directory})
  target_compile_options(${target} PRIVATE ${WARNINGS})
  target_link_options(${target} PRIVATE ${VANTORELIX_STATIC_LINK} -s -Wl,--enable-stdcall-fixup
    -Wl,-Map=${directory}/Vantorelix.map ${VANTORELIX_REPRODUCIBLE_LINK})
  target_link_libraries(${target} PRIVATE vantorelix_base)
endfunction()
vantorelix_dll(Vantorelix vantorelix_capture ${CMAKE_BINARY_DIR})
# The side-by-side manifest ships beside the DLL.
configure_file(${GEN_DIR}/Vantorelix.manifest ${CMAKE_BINARY_DIR}/Vantorelix.manifest COPYONLY)

include(${CMAKE_SOURCE_DIR}/tests/windows-tests.cmake)
