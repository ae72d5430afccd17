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

# Builds `source` with the flags pkg-config gives for `modules` and runs it with ARGN.
function(build_and_run name source modules)
  execute_process(COMMAND pkg-config --cflags --libs ${modules}
                  RESULT_VARIABLE result OUTPUT_VARIABLE flags ERROR_VARIABLE error
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "pkg-config --cflags --libs ${modules} failed: ${error}")
  endif()
  message(STATUS "pkg-config ${modules}: ${flags}")
  separate_arguments(flags UNIX_COMMAND "${flags}")
  execute_process(COMMAND "${CXX}" -std=c++20 ${EXTRA_FLAGS} ${link_as_needed} "${source}" ${flags}
                          -o "${WORK_DIR}/${name}"
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${name} does not build with the installation:\n${output}")
  endif()
  run_clean("${name}" "${WORK_DIR}/${name}" ${ARGN})
endfunction()

build_and_run(platform-host "${HOST_DIR}/host.cpp" "dbplatform")
build_and_run(libraries-host "${HOST_DIR}/libraries-host.cpp" "morvane;quillet")
build_and_run(pc-quillet-host "${HOST_DIR}/quillet-host.cpp" "quillet" "${WORK_DIR}/pc-quillet.db")
build_and_run(pc-morvane-host "${HOST_DIR}/morvane-host.cpp" "morvane")

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
