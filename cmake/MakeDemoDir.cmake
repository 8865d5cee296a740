# Copies the shipped data into the demo program directory, keeping whatever
# the operator or a run left there (logs, results, the subscriber table).
file(MAKE_DIRECTORY ${DST})
file(GLOB_RECURSE items RELATIVE ${SRC} ${SRC}/*)
foreach(item IN LISTS items)
  get_filename_component(dir ${DST}/${item} DIRECTORY)
  file(MAKE_DIRECTORY ${dir})
  if(NOT EXISTS ${DST}/${item} OR ${SRC}/${item} IS_NEWER_THAN ${DST}/${item})
    file(COPY_FILE ${SRC}/${item} ${DST}/${item})
  endif()
endforeach()
