# Project-wide compile flags and the one helper that every subsystem folder uses.

add_compile_options(-Wall -Wextra)
if(ZARN_WERROR)
  add_compile_options(-Werror)
endif()

if(ZARN_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(ZARN_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT ZARN_SANITIZE STREQUAL "")
  message(FATAL_ERROR "ZARN_SANITIZE must be empty, address or thread")
endif()

# zarn_subsystem(<name>
#     [DIRS <folder>...]      folders below this one whose sources belong here (default: .)
#     [DEPS <target>...]      what the library links (public)
#     [TEST_DEPS <target>...] what the tests link besides the library and GoogleTest
#     [LABEL <label>])        CTest label (default: <name>)
#
# Every *.cpp of the folders goes into the static library <name>, except *_test.cpp, which
# go into one test executable <name>_tests whose tests CTest runs one by one, in parallel.
# Test doubles and fixtures live in testing/ below the folder; its *.cpp make the library
# <name>_testing, which only tests link (this folder's, and others' through TEST_DEPS).
# Source lists are globbed so that adding a file never touches this folder's CMakeLists.
function(zarn_subsystem name)
  cmake_parse_arguments(Z "" "LABEL" "DIRS;DEPS;TEST_DEPS" ${ARGN})
  if(NOT Z_DIRS)
    set(Z_DIRS .)
  endif()
  if(NOT Z_LABEL)
    set(Z_LABEL ${name})
  endif()
  set(sources)
  set(tests)
  foreach(dir ${Z_DIRS})
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
    foreach(file ${found})
      if(file MATCHES "_test\\.cpp$")
        list(APPEND tests ${file})
      else()
        list(APPEND sources ${file})
      endif()
    endforeach()
  endforeach()

  if(sources)
    add_library(${name} STATIC ${sources})
    set(scope PUBLIC)
  else()
    add_library(${name} INTERFACE)
    set(scope INTERFACE)
  endif()
  target_include_directories(${name} ${scope} ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
  target_link_libraries(${name} ${scope} ${Z_DEPS})

  file(GLOB doubles CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/testing/*.cpp)
  list(FILTER doubles EXCLUDE REGEX "_test\\.cpp$")
  if(doubles)
    add_library(${name}_testing STATIC ${doubles})
    target_link_libraries(${name}_testing PUBLIC ${name} GTest::gmock)
    list(APPEND Z_TEST_DEPS ${name}_testing)
  endif()

  if(tests)
    # No test reaches the home folder of whoever runs it: with TMPDIR unset the working
    # folders would go to the user's cache folder. Tests of that default set HOME and
    # XDG_CACHE_HOME themselves.
    set(test_tmpdir "$ENV{TMPDIR}")
    if(NOT IS_ABSOLUTE "${test_tmpdir}")
      set(test_tmpdir /tmp)
    endif()
    add_executable(${name}_tests ${tests})
    target_link_libraries(${name}_tests PRIVATE ${name} ${Z_TEST_DEPS} GTest::gmock_main)
    gtest_discover_tests(${name}_tests
      DISCOVERY_TIMEOUT 60
      PROPERTIES LABELS ${Z_LABEL} TIMEOUT 300 ENVIRONMENT "TMPDIR=${test_tmpdir}")
  endif()
endfunction()
