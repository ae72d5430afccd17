# Installs the build tree into a fresh prefix, then builds and runs one-file hosts with
# nothing but the flags of `pkg-config --cflags --libs`.
# Variables: BUILD_DIR, WORK_DIR, HOST_DIR, CXX, LIBDIR, EXTRA_FLAGS (list).
set(prefix "${WORK_DIR}/prefix")
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${result}):\n${output}")
endif()
foreach(required "include/dbplatform/dbplatform.h" "${LIBDIR}/pkgconfig/dbplatform.pc")
  if(NOT EXISTS "${prefix}/${required}")
    message(FATAL_ERROR "the installation lacks ${required}")
  endif()
endforeach()
file(GLOB libraries "${prefix}/${LIBDIR}/libdbplatform.so*")
if(NOT libraries)
  message(FATAL_ERROR "the installation lacks libdbplatform.so")
endif()

set(ENV{PKG_CONFIG_PATH} "${prefix}/${LIBDIR}/pkgconfig")

# Builds `source` with the flags pkg-config gives for `modules` and runs it. No
# LD_LIBRARY_PATH: the libraries must be found through what pkg-config gave.
function(build_and_run name source modules)
  execute_process(COMMAND pkg-config --cflags --libs ${modules}
                  RESULT_VARIABLE result OUTPUT_VARIABLE flags ERROR_VARIABLE error
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "pkg-config --cflags --libs ${modules} failed: ${error}")
  endif()
  message(STATUS "pkg-config ${modules}: ${flags}")
  separate_arguments(flags UNIX_COMMAND "${flags}")
  execute_process(COMMAND "${CXX}" ${EXTRA_FLAGS} "${source}" ${flags} -o "${WORK_DIR}/${name}"
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${name} does not build with the installation:\n${output}")
  endif()
  execute_process(COMMAND "${WORK_DIR}/${name}" RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  message(STATUS "${name}: ${output}")
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${name} failed (${result}):\n${output}")
  endif()
endfunction()

build_and_run(platform-host "${HOST_DIR}/host.cpp" "dbplatform")
# The two libraries are checked once their headers are installed too.
if(EXISTS "${prefix}/include/morvane/Morvane.h" AND EXISTS "${prefix}/include/quillet/Quillet.h")
  build_and_run(libraries-host "${HOST_DIR}/libraries-host.cpp" "morvane;quillet")
endif()
