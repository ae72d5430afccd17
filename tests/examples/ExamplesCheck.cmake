# The examples as a user builds them: `cmake --install` into a fresh prefix, then every
# example built with CMake (find_package) and with pkg-config (examples/Makefile), by each
# compiler named, and run with a clean environment: no LD_LIBRARY_PATH, only what a
# program needs.
# Variables: BUILD_DIR, WORK_DIR, EXAMPLES_DIR, COMPILERS (list of C++ compilers), LIBDIR,
# EXTRA_FLAGS (compiler and linker flags). The PostgreSQL example reads the server from DBPLATFORM_TEST_PG.
set(prefix "${WORK_DIR}/prefix")
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

# Fails the check with the output of the step that went wrong.
function(run_step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${what} failed (${result}):\n${output}")
  endif()
  set(step_output "${output}" PARENT_SCOPE)
endfunction()

run_step("cmake --install" "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}")
# Escaped, so that its semicolons survive being handed on as one argument.
string(REPLACE ";" "\\;" PG "$ENV{DBPLATFORM_TEST_PG}")
if(PG STREQUAL "")
  message(FATAL_ERROR "the PostgreSQL example needs a server: DBPLATFORM_TEST_PG is not set "
                      "(source build/odbc/env.sh)")
endif()

# A program's environment: nothing of the caller's but PATH and the sanitizers' options;
# failures write their cause to standard error, for this check's own report.
set(clean_env env -i "PATH=/usr/bin:/bin" "HOME=${WORK_DIR}" "DBPLATFORM_LOG=stderr")
foreach(variable ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS)
  if(DEFINED ENV{${variable}})
    list(APPEND clean_env "${variable}=$ENV{${variable}}")
  endif()
endforeach()

# A plant database for the Morvane host, made by the installed main job.
set(plant "${WORK_DIR}/plant")
run_step("morvane-demo (making a plant)" ${clean_env} "${prefix}/bin/morvane-demo" --home "${plant}"
         --now "2026-12-08 06:00:00")

# The installed shell, with its manual page, answers from bin/ as the examples do.
if(NOT EXISTS "${prefix}/share/man/man1/quillet-sql.1")
  message(FATAL_ERROR "the installation lacks the manual page of quillet-sql")
endif()
run_step("the installed quillet-sql" ${clean_env} "${prefix}/bin/quillet-sql"
         "Provider=SQLite\;Data Source=${WORK_DIR}/shell.db\;Create=True"
         -c "create table [t] ([a] integer)\; insert into [t] values (1), (2), (3)\; select top 2 [a] from [t]")
if(NOT step_output MATCHES "\\(2 rows, ")
  message(FATAL_ERROR "the installed quillet-sql answered:\n${step_output}")
endif()

string(JOIN " " flags ${EXTRA_FLAGS})
foreach(compiler IN LISTS COMPILERS)
  get_filename_component(compiler_name "${compiler}" NAME)
  # With CMake: the whole folder, and one example folder on its own.
  set(cmake_build "${WORK_DIR}/${compiler_name}-cmake")
  run_step("configuring the examples with ${compiler_name}" "${CMAKE_COMMAND}" -S "${EXAMPLES_DIR}"
           -B "${cmake_build}" "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_CXX_COMPILER=${compiler}"
           "-DCMAKE_CXX_FLAGS=${flags}" "-DCMAKE_RUNTIME_OUTPUT_DIRECTORY=${cmake_build}/bin")
  run_step("building the examples with CMake and ${compiler_name}" "${CMAKE_COMMAND}" --build "${cmake_build}")
  run_step("configuring one example alone with ${compiler_name}" "${CMAKE_COMMAND}"
           -S "${EXAMPLES_DIR}/quillet-sqlite" -B "${WORK_DIR}/${compiler_name}-alone"
           "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_CXX_COMPILER=${compiler}" "-DCMAKE_CXX_FLAGS=${flags}")
  run_step("building one example alone with ${compiler_name}" "${CMAKE_COMMAND}" --build "${WORK_DIR}/${compiler_name}-alone")

  # With pkg-config alone.
  set(make_bin "${WORK_DIR}/${compiler_name}-pkgconfig")
  run_step("building the examples with pkg-config and ${compiler_name}" env
           "PKG_CONFIG_PATH=${prefix}/${LIBDIR}/pkgconfig" make -s -C "${WORK_DIR}" -f "${EXAMPLES_DIR}/Makefile"
           "CXX=${compiler}" "CXXFLAGS=-std=c++20 -Wall -Wextra ${flags}" "BIN=${make_bin}")

  foreach(bin "${cmake_build}/bin" "${make_bin}")
    run_step("quillet-sqlite (${bin})" ${clean_env} "${bin}/quillet-sqlite" "${WORK_DIR}/parts.db")
    if(NOT step_output MATCHES "3 bell +37\\.5.*2 throat +25\\.0.*10000 bytes, intact")
      message(FATAL_ERROR "quillet-sqlite answered:\n${step_output}")
    endif()
    run_step("quillet-postgres (${bin})" ${clean_env} "QUILLET_EXAMPLE_PG=${PG}" "${bin}/quillet-postgres")
    if(NOT step_output MATCHES "first charge after 06:01: 2, 29\\.25")
      message(FATAL_ERROR "quillet-postgres answered:\n${step_output}")
    endif()
    run_step("ado-plain (${bin})" ${clean_env} "${bin}/ado-plain")
    if(NOT step_output MATCHES "2 furnaces.*2 BF2 4350\\.5.*Description\\(\\): +near \"selec\": syntax error")
      message(FATAL_ERROR "ado-plain answered:\n${step_output}")
    endif()
    run_step("diagnostics (${bin})" ${clean_env} "${bin}/diagnostics")
    if(step_output MATCHES "not-shown")
      message(FATAL_ERROR "a password reached the diagnostics records:\n${step_output}")
    endif()
    run_step("morvane-host (${bin})" ${clean_env} "ODBCSYSINI=${plant}" "ODBCINI=${plant}/odbc.ini"
             "${bin}/morvane-host")
    if(NOT step_output MATCHES "^[0-9]+ charges, the first at 20[0-9][0-9]-")
      message(FATAL_ERROR "morvane-host answered:\n${step_output}")
    endif()
  endforeach()
  message(STATUS "${compiler_name}: every example built with CMake and pkg-config and ran")
endforeach()
