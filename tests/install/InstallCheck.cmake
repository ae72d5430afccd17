# Installs the build tree into a fresh prefix, then builds one-file hosts against it as a
# user would: with nothing but the flags of `pkg-config --cflags --libs`, and as a CMake
# project that calls find_package. Every host links with --as-needed (as Debian's and
# Ubuntu's toolchains may) and runs in an empty environment: no LD_LIBRARY_PATH, so the
# libraries must be found through the run paths the package gave.
# Variables: BUILD_DIR, WORK_DIR, HOST_DIR, CXX, LIBDIR, EXTRA_FLAGS (list).
set(prefix "${WORK_DIR}/prefix")
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${result}):\n${output}")
endif()
foreach(required "include/dbplatform/dbplatform.h" "include/morvane/Morvane.h" "include/quillet/Quillet.h"
                 "${LIBDIR}/pkgconfig/dbplatform.pc" "${LIBDIR}/cmake/Morvane/MorvaneConfig.cmake")
  if(NOT EXISTS "${prefix}/${required}")
    message(FATAL_ERROR "the installation lacks ${required}")
  endif()
endforeach()
file(GLOB libraries "${prefix}/${LIBDIR}/libdbplatform.so*")
if(NOT libraries)
  message(FATAL_ERROR "the installation lacks libdbplatform.so")
endif()

# Each library finds the libraries it needs by itself, wherever the prefix is: a host
# whose linker dropped its own reference to libdbplatform (--as-needed) still starts.
foreach(library Quillet Morvane)
  execute_process(COMMAND env -i ldd "${prefix}/${LIBDIR}/lib${library}.so"
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0 OR output MATCHES "not found" OR NOT output MATCHES "${prefix}/${LIBDIR}/libdbplatform.so")
    message(FATAL_ERROR "the installed lib${library}.so does not find libdbplatform by itself:\n${output}")
  endif()
endforeach()

set(ENV{PKG_CONFIG_PATH} "${prefix}/${LIBDIR}/pkgconfig")
set(link_as_needed "-Wl,--as-needed")

# Runs `program` with `arguments` in an empty environment (the sanitizers' options pass,
# so that a sanitizer build reads its suppressions) and fails the check if it fails.
function(run_clean name program)
  set(environment "")
  foreach(variable ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS)
    if(DEFINED ENV{${variable}})
      list(APPEND environment "${variable}=$ENV{${variable}}")
    endif()
  endforeach()
  execute_process(COMMAND env -i ${environment} "${program}" ${ARGN}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  message(STATUS "${name}: ${output}")
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${name} failed in an empty environment (${result}):\n${output}")
  endif()
endfunction()

# The flags of `pkg-config --cflags --libs modules`, as a list in `out`. They never name a
# language standard: the host chooses it, and the headers refuse one that is too old.
function(pkg_config_flags out modules)
  execute_process(COMMAND pkg-config --cflags --libs ${modules}
                  RESULT_VARIABLE result OUTPUT_VARIABLE flags ERROR_VARIABLE error
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "pkg-config --cflags --libs ${modules} failed: ${error}")
  endif()
  message(STATUS "pkg-config ${modules}: ${flags}")
  if(flags MATCHES "-std=")
    message(FATAL_ERROR "pkg-config ${modules} imposes a language standard on the host: ${flags}")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  set(${out} "${flags}" PARENT_SCOPE)
endfunction()

# Builds `source` as C++ `standard` with the flags pkg-config gives for `modules` and
# our headers' warnings made errors, then runs it with ARGN.
function(build_and_run name standard source modules)
  pkg_config_flags(flags "${modules}")
  execute_process(COMMAND "${CXX}" -std=${standard} -Wall -Wextra -Werror -pedantic ${EXTRA_FLAGS} ${link_as_needed}
                          "${source}" ${flags} -o "${WORK_DIR}/${name}"
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${name} does not build with the installation:\n${output}")
  endif()
  run_clean("${name}" "${WORK_DIR}/${name}" ${ARGN})
endfunction()

build_and_run(platform-host c++20 "${HOST_DIR}/host.cpp" "dbplatform")
build_and_run(platform-host-23 c++23 "${HOST_DIR}/host.cpp" "dbplatform")
build_and_run(libraries-host c++20 "${HOST_DIR}/libraries-host.cpp" "morvane;quillet")
build_and_run(pc-quillet-host c++20 "${HOST_DIR}/quillet-host.cpp" "quillet" "${WORK_DIR}/pc-quillet.db")
build_and_run(pc-morvane-host c++20 "${HOST_DIR}/morvane-host.cpp" "morvane")

# A standard older than the headers need is refused with a message that says which.
pkg_config_flags(flags "morvane;quillet")
foreach(standard c++17 gnu++17)
  execute_process(COMMAND "${CXX}" -std=${standard} -fsyntax-only "${HOST_DIR}/libraries-host.cpp" ${flags}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(result EQUAL 0 OR NOT output MATCHES "need C\\+\\+20 or newer")
    message(FATAL_ERROR "the headers compiled as ${standard} without saying they need C++20 (${result}):\n${output}")
  endif()
endforeach()

# find_package as hosts write it: a version and components the package has are found;
# a newer minor, another major or an unknown component is refused, naming what is wrong.
set(requests
  "1.0 REQUIRED COMPONENTS Quillet|found Morvane 1\\."
  "1 REQUIRED COMPONENTS dbplatform Morvane Quillet|found Morvane 1\\."
  "REQUIRED|found Morvane"
  "1.0 REQUIRED COMPONENTS Quillet OPTIONAL_COMPONENTS Spreadsheet|found Morvane 1\\."
  "REQUIRED COMPONENTS Quillet Spreadsheet|REFUSED.*no component \"Spreadsheet\""
  "1.99 REQUIRED|REFUSED.*1\\.99"
  "2.0 REQUIRED|REFUSED.*2\\.0"
  "0.9 REQUIRED|REFUSED.*0\\.9")
foreach(case IN LISTS requests)
  string(REPLACE "|" ";" case "${case}")
  list(GET case 0 request)
  list(GET case 1 expected)
  file(REMOVE_RECURSE "${WORK_DIR}/request")
  execute_process(COMMAND "${CMAKE_COMMAND}" -S "${HOST_DIR}/package-request" -B "${WORK_DIR}/request"
                          "-DCMAKE_PREFIX_PATH=${prefix}" "-DREQUEST=${request}"
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    set(output "REFUSED ${output}")
  endif()
  string(REPLACE "\n" " " flat "${output}")
  if(NOT flat MATCHES "${expected}")
    message(FATAL_ERROR "find_package(Morvane ${request}): expected \"${expected}\", got:\n${output}")
  endif()
endforeach()

# The same two hosts as a CMake project of their own.
string(REPLACE ";" " " consumer_flags "${EXTRA_FLAGS}")
execute_process(COMMAND "${CMAKE_COMMAND}" -S "${HOST_DIR}/consumer" -B "${WORK_DIR}/consumer"
                        "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_CXX_COMPILER=${CXX}"
                        "-DCMAKE_CXX_FLAGS=${consumer_flags}" "-DCMAKE_EXE_LINKER_FLAGS=${link_as_needed}"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the CMake host project does not configure against the installation:\n${output}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${WORK_DIR}/consumer"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the CMake host project does not build against the installation:\n${output}")
endif()
run_clean(cmake-quillet-host "${WORK_DIR}/consumer/quillet-host" "${WORK_DIR}/cmake-quillet.db")
run_clean(cmake-morvane-host "${WORK_DIR}/consumer/morvane-host")
