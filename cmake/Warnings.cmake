# Warnings are on everywhere and kept clean; third-party headers come in as
# system headers so their noise does not hide ours.
add_compile_options(-Wall -Wextra)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>)
endif()
option(ORVEL_WERROR "Treat warnings as errors" OFF)
if(ORVEL_WERROR)
  add_compile_options(-Werror)
endif()
