if(ORVEL_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(ORVEL_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT ORVEL_SANITIZE STREQUAL "")
  message(FATAL_ERROR "ORVEL_SANITIZE must be empty, 'address' or 'thread'")
endif()

# Sanitized code runs several times slower than plain code: every test's time
# limit is multiplied by this factor (orvel_test_timeout).
if(ORVEL_SANITIZE STREQUAL "address")
  set(ORVEL_TIMEOUT_FACTOR 3)
elseif(ORVEL_SANITIZE STREQUAL "thread")
  set(ORVEL_TIMEOUT_FACTOR 6)
else()
  set(ORVEL_TIMEOUT_FACTOR 1)
endif()

# Sets <var> to the time limit of a test that needs <seconds> in a plain build.
function(orvel_test_timeout var seconds)
  math(EXPR scaled "${seconds} * ${ORVEL_TIMEOUT_FACTOR}")
  set(${var} ${scaled} PARENT_SCOPE)
endfunction()
