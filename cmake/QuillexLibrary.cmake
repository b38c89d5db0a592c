# quillex_library(<name> [SOURCES files...] [TESTS files...] [DEPS libs...] [PRIVATE_DEPS libs...])
#
# Builds one static library from the folder's *.cpp files (or the SOURCES given) and, when the
# folder has *_test.cpp files (or the TESTS given), one gtest binary <name>_test registered with ctest. The DEPS
# lines of all folders together are the architecture diagram: keep them acyclic and minimal.
#
# Folders are added bottom-up, so a library may only link libraries that already exist: a link to
# one defined later is an edge upwards (or a cycle) and stops the configure step.
function(quillex_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;TESTS;DEPS;PRIVATE_DEPS" ${ARGN})
  foreach(dep IN LISTS ARG_DEPS ARG_PRIVATE_DEPS)
    if(dep MATCHES "^quillex_" AND NOT TARGET ${dep})
      message(FATAL_ERROR "${name} links ${dep}, which is not below it: the library graph must "
                          "run from platform/ at the bottom to app/ at the top without back edges")
    endif()
  endforeach()
  # The same for includes: a header of a folder above would be an edge the link lines hide.
  file(GLOB own_files ${CMAKE_CURRENT_SOURCE_DIR}/*.h ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(own_file IN LISTS own_files)
    file(STRINGS ${own_file} includes REGEX "^#include \"[a-z_]+/")
    foreach(include IN LISTS includes)
      string(REGEX REPLACE "^#include \"([a-z_]+)/.*" "quillex_\\1" included "${include}")
      if(NOT included STREQUAL name AND NOT TARGET ${included})
        message(FATAL_ERROR "${own_file} includes a header of ${included}, which is not below it")
      endif()
    endforeach()
  endforeach()

  if(ARG_SOURCES)
    set(srcs ${ARG_SOURCES})
  else()
    file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    list(FILTER srcs EXCLUDE REGEX "_test\\.cpp$")
  endif()
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  else()
    # Headers only, so far.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS} ${ARG_PRIVATE_DEPS})
  endif()

  if(QUILLEX_TESTS)
    if(ARG_TESTS)
      set(tests ${ARG_TESTS})
    else()
      file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
    endif()
    if(tests)
      add_executable(${name}_test ${tests})
      target_link_libraries(${name}_test PRIVATE ${name} ${ARG_PRIVATE_DEPS} GTest::gtest GTest::gtest_main)
      gtest_discover_tests(${name}_test DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 30)
    endif()
  endif()
endfunction()
