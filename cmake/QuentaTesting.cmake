# How tests are registered, so that every build runs them alike.

# A test's own code, and GoogleTest's, builds at -Og whatever the build type:
# it compiles in about half the time of -O2 and keeps GCC's warnings that need
# flow analysis; clang's need none, so there it builds at -O0, faster again
# under the sanitizers. The code under test keeps the optimization of its build.
function(quenta_test_compile_options target)
  target_compile_options(${target} PRIVATE $<IF:$<CXX_COMPILER_ID:Clang>,-O0,-Og>)
endfunction()

# A GoogleTest program. Natively each case is a test of its own, so that
# ctest -R picks one; under Wine, where every process start costs a second or
# more, the program is one test. The cases named after SLOW (GoogleTest
# filters) are labelled slow: ./dev check leaves them out unless asked, and
# ctest starts them first, so that the others run beside them.
# Per-case results go to gtest-results/ in the build tree (a file per case
# natively, per program under Wine), where ./dev test finds the skipped cases
# and their reasons.
function(quenta_add_gtest target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SLOW")
  quenta_test_compile_options(${target})
  if(QUENTA_UNITY_TESTS)
    # A few test files to a translation unit: their headers and templates are
    # compiled once for all of them. Two test files in one unit must not
    # define the same name in their unnamed namespaces.
    set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
  else()
    # GoogleTest's header precompiled where enough files share it to pay for that.
    get_target_property(sources ${target} SOURCES)
    list(LENGTH sources count)
    if(count GREATER 2)
      target_precompile_headers(${target} PRIVATE <gtest/gtest.h>)
    endif()
  endif()
  if(CMAKE_CROSSCOMPILING)
    # Relative: a Windows program under Wine takes /a/b for a path on the current drive.
    add_test(NAME ${target} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
      COMMAND ${target} --gtest_brief=1 --gtest_output=xml:gtest-results/${target}.xml)
    # A whole program of cases: more than the presets' default time-out of one test.
    set_tests_properties(${target} PROPERTIES TIMEOUT 600)
    return()
  endif()
  include(GoogleTest)
  set(common WORKING_DIRECTORY ${CMAKE_BINARY_DIR} XML_OUTPUT_DIR ${CMAKE_BINARY_DIR}/gtest-results
    EXTRA_ARGS --gtest_brief=1 DISCOVERY_TIMEOUT 60)
  if(arg_SLOW)
    list(JOIN arg_SLOW ":" slow)
    gtest_discover_tests(${target} ${common} TEST_FILTER "-${slow}")
    gtest_discover_tests(${target} ${common} TEST_FILTER "${slow}" PROPERTIES LABELS slow TIMEOUT 600 COST 1000)
  else()
    gtest_discover_tests(${target} ${common})
  endif()
endfunction()

# A scenario that opens the configuration dialog takes the desktop's focus:
# no two such tests run at once.
function(quenta_lock_if_dialog test scenario_file)
  file(STRINGS ${scenario_file} config_lines REGEX "^[ \t]*config[ \t]")
  if(config_lines)
    set_tests_properties(${test} PROPERTIES RESOURCE_LOCK desktop_focus)
  endif()
endfunction()

# Every .cpp file in DIR is a test file named *_test.cpp (or, for one
# platform only, *_test_win32.cpp or *_test_posix.cpp) or one of the named
# helpers, so that a test file cannot drop out of the build by its name.
function(quenta_require_test_names dir)
  file(GLOB sources RELATIVE ${dir} CONFIGURE_DEPENDS ${dir}/*.cpp)
  foreach(source IN LISTS sources)
    if(NOT source MATCHES "_test(_win32|_posix)?\\.cpp$" AND NOT source IN_LIST ARGN)
      message(FATAL_ERROR "${dir}/${source}: a test file must end in _test.cpp (or be listed as a helper)")
    endif()
  endforeach()
endfunction()

# The test files of DIR for this platform, into VAR.
function(quenta_test_sources var dir)
  if(WIN32)
    set(platform win32)
  else()
    set(platform posix)
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*_test.cpp ${dir}/*_test_${platform}.cpp)
  set(${var} ${sources} PARENT_SCOPE)
endfunction()
