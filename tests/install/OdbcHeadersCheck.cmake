# Compiles sources that include our headers together with unixODBC's, with each compiler
# and the warnings hosts use as errors. Variables: SOURCE_DIR (repository root), HOST_DIR,
# WORK_DIR, COMPILERS (list).
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(strict -Wall -Wextra -Werror -pedantic)

# source | standard | what must happen: "builds", or a regular expression the refusal matches
set(cases
  "odbc-after.cpp|c++20|builds"
  "odbc-after.cpp|c++2b|builds"
  "odbc-before.cpp|c++20|include <dbplatform/dbplatform.h>.*before <sql.h>")
foreach(compiler IN LISTS COMPILERS)
  get_filename_component(compiler_name "${compiler}" NAME)
  foreach(case IN LISTS cases)
    string(REPLACE "|" ";" case "${case}")
    list(GET case 0 source)
    list(GET case 1 standard)
    list(GET case 2 expected)
    set(object "${WORK_DIR}/${compiler_name}-${standard}-${source}.o")
    execute_process(COMMAND "${compiler}" -std=${standard} ${strict} "-I${SOURCE_DIR}" -c "${HOST_DIR}/${source}"
                            -o "${object}"
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(expected STREQUAL "builds")
      if(NOT result EQUAL 0)
        message(FATAL_ERROR "${source} does not build with ${compiler_name} -std=${standard}:\n${output}")
      endif()
    elseif(result EQUAL 0 OR NOT output MATCHES "${expected}")
      message(FATAL_ERROR "${source} with ${compiler_name} -std=${standard}: expected a refusal matching "
                          "\"${expected}\", got (${result}):\n${output}")
    endif()
    message(STATUS "${compiler_name} -std=${standard} ${source}: as expected")
  endforeach()
endforeach()
