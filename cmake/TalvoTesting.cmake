# Test helpers shared by every module's tests.
#
# talvo_add_test(NAME n SOURCES ... [LIBS ...] [TIMEOUT s] [RESOURCE_LOCK r ...] [ARGS ...] [NO_GTEST_MAIN])
#   One GoogleTest executable = one CTest test. In the Windows build it runs under Wine in a
#   private clone of the build's Wine prefix (own registry, own C: drive), so tests may touch the
#   registry and files and still run in parallel under ctest -j.
# talvo_add_fuzzer(NAME n SOURCES ... [LIBS ...] [CORPUS dir] [SEED_COMMAND cmd...])
#   libFuzzer target (host build with clang only) plus a short bounded fuzz pass as a CTest test.

set(TALVO_WINE_RUN ${CMAKE_SOURCE_DIR}/tools/wine-run.sh)
set(TALVO_WINE_TEMPLATE ${CMAKE_BINARY_DIR}/wine/template)
# Which Wine loader and prefix run this build's programs (tools/wine-env.sh).
# The checks of the program image (label "image") read the file without running it, so they run
# for the shipped 32-bit build even where Wine cannot start it.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(TALVO_WINE_ARCH win64)
  set(TALVO_IMAGE_ARCH x86-64)
else()
  set(TALVO_WINE_ARCH win32)
  set(TALVO_IMAGE_ARCH i386)
endif()
set(TALVO_FUZZ_SECONDS 20 CACHE STRING "Length of the bounded fuzz pass each fuzz target runs in the tests")

# A RESOURCE_LOCK keeps tests of one ctest run apart; a fixed loopback port is also wanted by other
# builds and checkouts on the machine (win32 and win64, a second work tree), so the tests that bind
# one take a machine-wide file lock as well.
function(talvo_machine_lock_prefix out)
  set(prefix)
  foreach(lock IN LISTS ARGN)
    if(lock MATCHES "^(port80|talvo_port443)$")
      list(APPEND prefix flock /tmp/talvo-${lock}.lock)
    endif()
  endforeach()
  set(${out} ${prefix} PARENT_SCOPE)
endfunction()

# Time-out (the given one, else the default), resource locks and labels of a test.
function(talvo_set_test_limits name default_timeout timeout locks labels)
  if(timeout)
    set_tests_properties(${name} PROPERTIES TIMEOUT ${timeout})
  else()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${default_timeout})
  endif()
  if(locks)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${locks}")
  endif()
  if(labels)
    set_tests_properties(${name} PROPERTIES LABELS "${labels}")
  endif()
endfunction()

function(talvo_add_test)
  cmake_parse_arguments(T "NO_GTEST_MAIN" "NAME;TIMEOUT" "SOURCES;LIBS;RESOURCE_LOCK;ARGS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  if(T_NO_GTEST_MAIN)
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock talvo_config)
  else()
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest_main GTest::gmock talvo_config)
  endif()
  if(WIN32)
    talvo_machine_lock_prefix(lock_prefix ${T_RESOURCE_LOCK})
    add_test(NAME ${T_NAME} COMMAND ${lock_prefix} ${TALVO_WINE_RUN} $<TARGET_FILE:${T_NAME}> ${T_ARGS})
    # Under Wine a crash such as a stack overflow can end the process with status 0: a run passes
    # only when GoogleTest got to its summary, and fails when any test failed.
    set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED wineprefix
      ENVIRONMENT "TALVO_WINE_ARCH=${TALVO_WINE_ARCH};TALVO_WINE_TEMPLATE=${TALVO_WINE_TEMPLATE};TALVO_SOURCE_DIR=${CMAKE_SOURCE_DIR};TALVO_BINARY_DIR=${CMAKE_BINARY_DIR}"
      PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] [0-9]+ tests?\\."
      FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]")
  else()
    add_test(NAME ${T_NAME} COMMAND ${T_NAME} ${T_ARGS})
    set_tests_properties(${T_NAME} PROPERTIES
      ENVIRONMENT "TALVO_SOURCE_DIR=${CMAKE_SOURCE_DIR};TALVO_BINARY_DIR=${CMAKE_BINARY_DIR}")
  endif()
  talvo_set_test_limits(${T_NAME} 300 "${T_TIMEOUT}" "${T_RESOURCE_LOCK}" "${T_LABELS}")
endfunction()

# Runs a command under Wine as a CTest test (for end-to-end scripts that drive real programs).
# talvo_add_wine_script_test(NAME n COMMAND ... [TIMEOUT s] [RESOURCE_LOCK r ...])
function(talvo_add_wine_script_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "COMMAND;RESOURCE_LOCK;LABELS" ${ARGN})
  if(NOT WIN32)
    return()
  endif()
  talvo_machine_lock_prefix(lock_prefix ${T_RESOURCE_LOCK})
  add_test(NAME ${T_NAME} COMMAND ${lock_prefix} ${T_COMMAND})
  set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED wineprefix
    ENVIRONMENT "TALVO_WINE_ARCH=${TALVO_WINE_ARCH};TALVO_WINE_TEMPLATE=${TALVO_WINE_TEMPLATE};TALVO_WINE_RUN=${TALVO_WINE_RUN};TALVO_SOURCE_DIR=${CMAKE_SOURCE_DIR};TALVO_BINARY_DIR=${CMAKE_BINARY_DIR}")
  talvo_set_test_limits(${T_NAME} 600 "${T_TIMEOUT}" "${T_RESOURCE_LOCK}" "${T_LABELS}")
endfunction()

function(talvo_add_fuzzer)
  cmake_parse_arguments(F "" "NAME;CORPUS" "SOURCES;LIBS" ${ARGN})
  if(WIN32 OR NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    return()
  endif()
  add_executable(${F_NAME} ${F_SOURCES})
  target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS} talvo_config)
  set(work ${CMAKE_BINARY_DIR}/fuzz/${F_NAME})
  # The short pass works on a scratch corpus seeded from the committed one, so the tree stays clean.
  add_test(NAME ${F_NAME}_short
    COMMAND ${CMAKE_SOURCE_DIR}/tools/fuzz-run.sh $<TARGET_FILE:${F_NAME}> ${TALVO_FUZZ_SECONDS} ${work} ${F_CORPUS})
  set_tests_properties(${F_NAME}_short PROPERTIES TIMEOUT 600 LABELS fuzz)
endfunction()
