# Shared build settings for Vellum's own targets.

set(VELLUM_SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

# Sanitizers apply to everything linked into a test, DjVuLibre included.
if(VELLUM_SANITIZE)
  add_compile_options(${VELLUM_SANITIZE_FLAGS})
  add_link_options(-fsanitize=address,undefined)
endif()

# Warnings for our own code only.
function(vellum_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(VELLUM_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# Environment of every test: a private home, so GTK, wx and our settings
# never touch the real user's files.
function(vellum_test_env test)
  set(_home ${CMAKE_BINARY_DIR}/testhome/${test})
  file(MAKE_DIRECTORY ${_home}/config ${_home}/cache ${_home}/data ${_home}/runtime)
  set_tests_properties(${test} PROPERTIES ENVIRONMENT
    "HOME=${_home};XDG_CONFIG_HOME=${_home}/config;XDG_CACHE_HOME=${_home}/cache;XDG_DATA_HOME=${_home}/data;XDG_RUNTIME_DIR=${_home}/runtime;VELLUM_CORPUS=${VELLUM_CORPUS_DIR};VELLUM_TEST_TMP=${_home}")
endfunction()

# vellum_gtest(NAME sources... LIBS libs... [SHARDS n]): one GoogleTest
# binary; one CTest test, or n (NAME_1 .. NAME_n) that each run a share of
# its cases (GoogleTest's sharding) with their own home, so that a long
# program keeps every core busy and each share stays far from the timeout.
function(vellum_gtest name)
  cmake_parse_arguments(T "" "TIMEOUT;SHARDS" "LIBS;LABELS" ${ARGN})
  find_package(GTest REQUIRED)
  add_executable(${name} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  vellum_warnings(${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  # The sanitizers slow the corpus-wide tests about fivefold.
  if(VELLUM_SANITIZE)
    math(EXPR T_TIMEOUT "${T_TIMEOUT} * 3")
  endif()
  set(_tests ${name})
  if(T_SHARDS)
    set(_tests)
    foreach(_i RANGE 1 ${T_SHARDS})
      math(EXPR _index "${_i} - 1")
      add_test(NAME ${name}_${_i} COMMAND ${name})
      vellum_test_env(${name}_${_i})
      set_property(TEST ${name}_${_i} APPEND PROPERTY ENVIRONMENT
        "GTEST_TOTAL_SHARDS=${T_SHARDS};GTEST_SHARD_INDEX=${_index}")
      list(APPEND _tests ${name}_${_i})
    endforeach()
  else()
    add_test(NAME ${name} COMMAND ${name})
    vellum_test_env(${name})
  endif()
  set_tests_properties(${_tests} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    set_tests_properties(${_tests} PROPERTIES LABELS "${T_LABELS}")
  endif()
  # GUI programs share one virtual display: one at a time, so that no
  # window of another program lies over the one a test looks at.
  if("gui" IN_LIST T_LABELS)
    set_tests_properties(${_tests} PROPERTIES RESOURCE_LOCK display)
  endif()
endfunction()

# vellum_fuzz_target(NAME source LIBS libs... SEEDS dirs...): with VELLUM_FUZZ a
# libFuzzer binary; always a replay binary (standalone main) that runs the seed
# files as an ordinary test.
function(vellum_fuzz_target name source)
  cmake_parse_arguments(F "" "" "LIBS;SEEDS" ${ARGN})
  add_executable(${name}_replay ${source} ${PROJECT_SOURCE_DIR}/tests/fuzz/standalone_main.cpp)
  target_link_libraries(${name}_replay PRIVATE ${F_LIBS})
  vellum_warnings(${name}_replay)
  add_test(NAME ${name}_replay COMMAND ${name}_replay ${F_SEEDS})
  vellum_test_env(${name}_replay)
  set_tests_properties(${name}_replay PROPERTIES TIMEOUT 600 LABELS fuzz)
  if(VELLUM_FUZZ)
    add_executable(${name} ${source})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE ${F_LIBS})
  endif()
endfunction()

if(VELLUM_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()
