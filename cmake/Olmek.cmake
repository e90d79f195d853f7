# Warnings for the project's own targets only; errors when OLMEK_WERROR is on.
function(olmek_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(OLMEK_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# olmek_library(NAME SOURCES... [DEPS libs...]) - one static library per module folder.
function(olmek_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  if(ARG_DEPS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  endif()
  olmek_warnings(${name})
endfunction()

# olmek_test(NAME SOURCES... DEPS libs...) - a GoogleTest executable registered with CTest.
function(olmek_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    OLMEK_CORPUS_DIR="${PROJECT_SOURCE_DIR}/../shared/corpus"
    OLMEK_BINARY_DIR="${PROJECT_BINARY_DIR}")
  olmek_warnings(${name})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${ARG_PROPERTIES})
endfunction()
