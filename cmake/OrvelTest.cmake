# orvel_add_test(<name> SOURCES <files...> LIBS <targets...> [ENV <VAR=value>] [SERIAL])
# One executable per area; each test case becomes a CTest test. SERIAL marks
# executables whose cases run calls on the simulated boards in real time:
# they run alone, so that a loaded machine does not starve them.
# gtest_discover_tests (CMake 3.25) gives a test only the first variable of
# an environment list and reads the others as property names, so a second
# variable would silently never reach the test: refuse it here.
function(orvel_check_test_env name)
  list(LENGTH ARGN count)
  if(count GREATER 1)
    message(FATAL_ERROR "${name}: one ENV variable at most (given: ${ARGN})")
  endif()
endfunction()

function(orvel_add_test name)
  cmake_parse_arguments(T "SERIAL" "" "SOURCES;LIBS;ENV" ${ARGN})
  orvel_check_test_env(${name} ${T_ENV})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  orvel_test_timeout(timeout 600)
  set(props TIMEOUT ${timeout})
  if(T_ENV)
    list(APPEND props ENVIRONMENT "${T_ENV}")
  endif()
  if(T_SERIAL)
    list(APPEND props RUN_SERIAL TRUE)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 120
    PROPERTIES ${props}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endfunction()
