# Benchmarks: built with the Windows build, run on demand with bench/run (never by ctest; only
# the floor object's answers are checked by ctest, bench_floor_answers).
add_executable(call_cost ${CMAKE_SOURCE_DIR}/bench/call_cost.cpp)
target_include_directories(call_cost PRIVATE ${CMAKE_SOURCE_DIR} ${GEN_DIR})
target_compile_definitions(call_cost PRIVATE ${VANTORELIX_DEFINES})
target_compile_options(call_cost PRIVATE ${WARNINGS})
target_link_options(call_cost PRIVATE ${VANTORELIX_STATIC_LINK})
target_link_libraries(call_cost PRIVATE vantorelix_ids ${VANTORELIX_SYSTEM_LIBS})
add_dependencies(call_cost Vantorelix)

# Private bytes around a million calls of each string- and array-returning method, and cost
# against work (path length, element count).
add_executable(memory ${CMAKE_SOURCE_DIR}/bench/memory.cpp)
target_include_directories(memory PRIVATE ${CMAKE_SOURCE_DIR} ${GEN_DIR})
target_compile_definitions(memory PRIVATE ${VANTORELIX_DEFINES})
target_compile_options(memory PRIVATE ${WARNINGS})
target_link_options(memory PRIVATE ${VANTORELIX_STATIC_LINK})
target_link_libraries(memory PRIVATE vantorelix_ids ${VANTORELIX_SYSTEM_LIBS} psapi)
add_dependencies(memory Vantorelix)

# The floor object: a minimal hand-written IDispatch, registered beside the DLL by bench/run.
add_library(bench_floor SHARED ${CMAKE_SOURCE_DIR}/bench/floor.cpp)
set_target_properties(bench_floor PROPERTIES PREFIX "" OUTPUT_NAME VantorelixBenchFloor)
target_compile_options(bench_floor PRIVATE ${WARNINGS})
target_link_options(bench_floor PRIVATE ${VANTORELIX_STATIC_LINK} -Wl,--kill-at)
target_link_libraries(bench_floor PRIVATE ole32 oleaut32 uuid advapi32)

# The floor answers as COM requires: bench/run runs this before it measures, and so does ctest.
add_executable(floor_check ${CMAKE_SOURCE_DIR}/bench/floor_check.cpp)
target_compile_options(floor_check PRIVATE ${WARNINGS})
target_link_options(floor_check PRIVATE ${VANTORELIX_STATIC_LINK})
target_link_libraries(floor_check PRIVATE ole32 oleaut32 uuid)
add_dependencies(floor_check bench_floor)
windows_path(WIN_FLOOR_DLL ${CMAKE_BINARY_DIR}/VantorelixBenchFloor.dll)
add_test(NAME bench_floor_answers COMMAND floor_check ${WIN_FLOOR_DLL})
set_tests_properties(bench_floor_answers PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 60)
