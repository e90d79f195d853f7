# olmek_qtest(NAME SOURCES... DEPS libs...) - a Qt Test executable run by CTest
# headless, with HOME and the XDG folders inside the build tree (the test
# also moves them into its own temporary folder before the application starts).
if(NOT COMMAND olmek_qtest)
  function(olmek_qtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} Qt6::Test Qt6::Widgets)
    target_compile_definitions(${name} PRIVATE
      OLMEK_CORPUS_DIR="${PROJECT_SOURCE_DIR}/../shared/corpus"
      OLMEK_BINARY_DIR="${PROJECT_BINARY_DIR}")
    olmek_warnings(${name})
    set(home ${CMAKE_CURRENT_BINARY_DIR}/${name}.home)
    file(MAKE_DIRECTORY ${home})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 120 ENVIRONMENT
      "QT_QPA_PLATFORM=offscreen;HOME=${home};XDG_CONFIG_HOME=${home}/config;XDG_DATA_HOME=${home}/data;XDG_CACHE_HOME=${home}/cache;XDG_RUNTIME_DIR=${home}/run")
  endfunction()
endif()
