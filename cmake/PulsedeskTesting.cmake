# pulsedesk_add_test(NAME name SOURCES ... LIBS ... [LABELS ...])
# One GoogleTest executable, discovered by CTest, labelled for the test script.
include(GoogleTest)
find_package(GTest REQUIRED)

function(pulsedesk_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${T_NAME}
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${T_LABELS}" TIMEOUT 120
    ENVIRONMENT "PULSEDESK_BIN_DIR=${PULSEDESK_BIN_DIR}")
endfunction()

# pulsedesk_add_fuzzer(NAME name SOURCES ... LIBS ... [CORPUS dir])
# A libFuzzer target, built only with PULSEDESK_FUZZ; CTest runs it for a bounded time, starting
# from the committed corpus when one is given (new inputs go to the build folder, never to it).
if(PULSEDESK_FUZZ AND NOT TARGET fuzzers)
  add_custom_target(fuzzers)
endif()
function(pulsedesk_add_fuzzer)
  if(NOT PULSEDESK_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "NAME;SECONDS;CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT F_SECONDS)
    set(F_SECONDS 20)
  endif()
  add_executable(${F_NAME} ${F_SOURCES})
  target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${F_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  add_dependencies(fuzzers ${F_NAME})
  set(corpus)
  if(F_CORPUS)
    set(found ${CMAKE_BINARY_DIR}/fuzz/${F_NAME}-corpus)
    file(MAKE_DIRECTORY ${found})
    set(corpus ${found} ${F_CORPUS})
  endif()
  add_test(NAME ${F_NAME}
    COMMAND ${F_NAME} -max_total_time=${F_SECONDS} -print_final_stats=1 ${corpus})
  set_tests_properties(${F_NAME} PROPERTIES LABELS fuzz TIMEOUT 600)
endfunction()

# pulsedesk_add_benchmark(NAME name SOURCES ... LIBS ...): a Google Benchmark program in build/bench/.
function(pulsedesk_add_benchmark)
  cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${B_NAME} ${B_SOURCES})
  target_link_libraries(${B_NAME} PRIVATE ${B_LIBS} benchmark::benchmark)
  set_target_properties(${B_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()
