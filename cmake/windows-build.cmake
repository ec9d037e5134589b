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
file(GLOB VANTORELIX_CORE_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/automation/*.cpp
  ${CMAKE_SOURCE_DIR}/server/*.cpp
  ${CMAKE_SOURCE_DIR}/utils/*.cpp)
list(REMOVE_ITEM VANTORELIX_CORE_SOURCES ${CMAKE_SOURCE_DIR}/server/exports.cpp)

set(VANTORELIX_DEFINES UNICODE _UNICODE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)
set(VANTORELIX_SYSTEM_LIBS ole32 oleaut32 uuid user32 advapi32 winmm shlwapi mpr)
# Static runtime: the DLL and the test programs import system DLLs only.
set(VANTORELIX_STATIC_LINK -static -static-libgcc -static-libstdc++)

add_library(vantorelix_core STATIC ${VANTORELIX_CORE_SOURCES})
add_dependencies(vantorelix_core vantorelix_idl)
target_include_directories(vantorelix_core PUBLIC ${CMAKE_SOURCE_DIR} ${GEN_DIR})
target_compile_definitions(vantorelix_core PUBLIC ${VANTORELIX_DEFINES})
target_compile_options(vantorelix_core PRIVATE ${WARNINGS})
target_link_libraries(vantorelix_core PUBLIC vantorelix_ids ${VANTORELIX_SYSTEM_LIBS})

# The resources: the type library as TYPELIB 1, the frame's texts, the version.
set(VANTORELIX_RC ${CMAKE_SOURCE_DIR}/server/Vantorelix.rc)
set_source_files_properties(${VANTORELIX_RC} PROPERTIES
  OBJECT_DEPENDS "${GEN_DIR}/Vantorelix.tlb;${GEN_DIR}/Vantorelix.manifest;${GEN_DIR}/version.h")

add_library(Vantorelix SHARED server/exports.cpp ${VANTORELIX_RC} server/Vantorelix.def)
set_target_properties(Vantorelix PROPERTIES PREFIX "" OUTPUT_NAME Vantorelix)
target_compile_options(Vantorelix PRIVATE ${WARNINGS})
target_link_options(Vantorelix PRIVATE ${VANTORELIX_STATIC_LINK} -s -Wl,--enable-stdcall-fixup
  ${VANTORELIX_REPRODUCIBLE_LINK})
target_link_libraries(Vantorelix PRIVATE vantorelix_core)
# The side-by-side manifest ships beside the DLL.
configure_file(${GEN_DIR}/Vantorelix.manifest ${CMAKE_BINARY_DIR}/Vantorelix.manifest COPYONLY)

include(${CMAKE_SOURCE_DIR}/tests/windows-tests.cmake)
