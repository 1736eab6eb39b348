# Helpers shared by every folder's CMakeLists.
#
# A subsystem folder is one static library. Its sources are the folder's *.cpp files; files named
# *_sse.cpp hold the Acc (SSE) kernels and are the only ones compiled with -msse3, so no helper shared
# with scalar code is ever built with SSE3 enabled; headers named *_sse.h (inline intrinsics helpers) may
# only be included from such files. Every public header also gets a generated
# translation unit that includes it alone, so headers keep standing on their own.

include(GoogleTest)

set(BZ_SOURCE_ROOT ${PROJECT_SOURCE_DIR}/src)
set(BZ_SSE_FLAGS -msse3)

# bz_add_library(<target> <folder relative to src> [EXCLUDE <file>...] [LINK <public deps>...] [PRIVATE_LINK <deps>...])
function(bz_add_library target folder)
  cmake_parse_arguments(ARG "" "" "EXCLUDE;LINK;PRIVATE_LINK" ${ARGN})
  set(dir ${BZ_SOURCE_ROOT}/${folder})
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  file(GLOB headers CONFIGURE_DEPENDS ${dir}/*.h)
  foreach(excluded IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM sources ${dir}/${excluded})
    list(REMOVE_ITEM headers ${dir}/${excluded})
  endforeach()
  bz_add_library_from_files(${target} SOURCES ${sources} HEADERS ${headers}
                            LINK ${ARG_LINK} PRIVATE_LINK ${ARG_PRIVATE_LINK})
endfunction()

# bz_add_library_from_files(<target> SOURCES ... [HEADERS ...] [LINK ...] [PRIVATE_LINK ...])
function(bz_add_library_from_files target)
  cmake_parse_arguments(ARG "" "" "SOURCES;HEADERS;LINK;PRIVATE_LINK" ${ARGN})
  set(sse_sources ${ARG_SOURCES})
  list(FILTER sse_sources INCLUDE REGEX "_sse\\.cpp$")
  set_source_files_properties(${sse_sources} PROPERTIES COMPILE_OPTIONS "${BZ_SSE_FLAGS}")

  # Header self-check: one generated file per header, compiled into an object library.
  set(checks "")
  foreach(header IN LISTS ARG_HEADERS)
    file(RELATIVE_PATH rel ${BZ_SOURCE_ROOT} ${header})
    string(REPLACE "/" "_" flat ${rel})
    string(REPLACE ".h" ".cpp" flat ${flat})
    set(check ${CMAKE_BINARY_DIR}/header_selfcheck/${flat})
    if(NOT EXISTS ${check})
      file(WRITE ${check} "#include \"${rel}\"\n")
    endif()
    if(header MATCHES "_sse\\.h$")
      set_source_files_properties(${check} PROPERTIES COMPILE_OPTIONS "${BZ_SSE_FLAGS}")
    endif()
    list(APPEND checks ${check})
  endforeach()

  set(sources ${ARG_SOURCES})
  if(NOT sources)
    # A subsystem whose first module has not arrived yet still exists as a target.
    set(placeholder ${CMAKE_BINARY_DIR}/placeholders/${target}.cpp)
    if(NOT EXISTS ${placeholder})
      file(WRITE ${placeholder} "// ${target} has no modules yet.\n")
    endif()
    set(sources ${placeholder})
  endif()
  add_library(${target} STATIC ${sources} ${ARG_HEADERS})
  target_include_directories(${target} PUBLIC ${BZ_SOURCE_ROOT})
  target_link_libraries(${target} PUBLIC ${ARG_LINK} PRIVATE ${ARG_PRIVATE_LINK})
  if(checks)
    add_library(${target}_header_selfcheck OBJECT ${checks})
    target_link_libraries(${target}_header_selfcheck PRIVATE ${target})
  endif()
endfunction()

# bz_add_tests(<name> <folder relative to tests> LINK <targets>...)
# One GoogleTest executable per folder: tests/<folder>/*_test.cpp, registered with CTest under a label.
function(bz_add_tests name folder)
  cmake_parse_arguments(ARG "" "" "LINK;LABELS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/${folder}/*_test.cpp
                                      ${PROJECT_SOURCE_DIR}/tests/${folder}/*_test_sse.cpp)
  if(NOT sources)
    return()
  endif()
  set(sse_sources ${sources})
  list(FILTER sse_sources INCLUDE REGEX "_sse\\.cpp$")
  set_source_files_properties(${sse_sources} PROPERTIES COMPILE_OPTIONS "${BZ_SSE_FLAGS}")
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_LINK} bz_test_support GTest::gmock GTest::gtest_main)
  set(labels ${ARG_LABELS})
  if(NOT labels)
    string(REPLACE "/" "_" labels ${folder})
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                       PROPERTIES LABELS "${labels}" ENVIRONMENT "BZ_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()

# bz_add_bench(<name> <folder relative to bench> LINK <targets>...)
function(bz_add_bench name folder)
  cmake_parse_arguments(ARG "" "" "LINK" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/bench/${folder}/*_bench.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_LINK} bz_test_support benchmark::benchmark_main)
endfunction()
