# Test registration: every GoogleTest case and every Qt Test function is a
# CTest entry of its own, so a failing run names the case that failed. Each
# entry has a timeout; the long ones carry the label "slow", so that
# `ctest -LE slow` runs the quick ones and `ctest -L slow` the rest.
include(GoogleTest)

set(BRIMLET_TEST_TIMEOUT 300)
set(BRIMLET_SLOW_TEST_TIMEOUT 1200)

# Listing a test program's cases runs it. A cross-built one runs under
# CMAKE_CROSSCOMPILING_EMULATOR (wine), and then only when the tests run, so
# that building needs no wine.
if(CMAKE_CROSSCOMPILING)
  set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
endif()

# The options every program's entries share:
#   SLOW                   labelled "slow", with the longer timeout
#   LABELS label...        more labels
#   ENVIRONMENT var=value  for every entry
#   TIMEOUT seconds        another timeout
# _brimlet_test_settings(PREFIX ...) sets PREFIX_TIMEOUT, PREFIX_LABELS and
# PREFIX_ENVIRONMENT (lists), and PREFIX_UNPARSED_ARGUMENTS. Under wine
# every entry is labelled "wine" too.
macro(_brimlet_test_settings prefix)
  cmake_parse_arguments(${prefix} "SLOW" "TIMEOUT" "LABELS;ENVIRONMENT" ${ARGN})
  if(${prefix}_SLOW)
    list(APPEND ${prefix}_LABELS slow)
  endif()
  if(NOT ${prefix}_TIMEOUT)
    set(${prefix}_TIMEOUT ${BRIMLET_TEST_TIMEOUT})
    if(${prefix}_SLOW)
      set(${prefix}_TIMEOUT ${BRIMLET_SLOW_TEST_TIMEOUT})
    endif()
  endif()
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    list(APPEND ${prefix}_LABELS wine)
  endif()
endmacro()

# The shared settings (see _brimlet_test_settings) of prefix `with` as the
# text of a set_tests_properties(... PROPERTIES ...) call, into `out`.
function(_brimlet_property_text out with)
  set(text "TIMEOUT ${${with}_TIMEOUT}")
  foreach(property LABELS ENVIRONMENT)
    if(${with}_${property})
      string(APPEND text " ${property} \"${${with}_${property}}\"")
    endif()
  endforeach()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# brimlet_gtest(TARGET [FILTER pattern] <shared options>)
# One entry per case of the GoogleTest program TARGET (of those FILTER
# picks, when given).
function(brimlet_gtest target)
  cmake_parse_arguments(arg "" "FILTER" "" ${ARGN})
  _brimlet_test_settings(with ${arg_UNPARSED_ARGUMENTS})
  set(filter)
  if(arg_FILTER)
    set(filter TEST_FILTER ${arg_FILTER})
  endif()
  # A list survives PROPERTIES only flattened, so the properties are set
  # on the cases once they are listed, by a script of our own that CTest
  # reads after GoogleTest's.
  get_property(count DIRECTORY PROPERTY brimlet_gtest_count)
  math(EXPR count "${count} + 1")
  set_property(DIRECTORY PROPERTY brimlet_gtest_count ${count})
  set(cases brimlet_${target}_${count})
  gtest_discover_tests(${target} ${filter} TEST_LIST ${cases} DISCOVERY_TIMEOUT 60)
  _brimlet_property_text(properties with)
  set(script "${CMAKE_CURRENT_BINARY_DIR}/${cases}_properties.cmake")
  file(WRITE "${script}" "if(${cases})\n  set_tests_properties(\${${cases}} PROPERTIES ${properties})\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${script}")
endfunction()

# brimlet_qt_test(TARGET [WRAPPER command...] [SKIP_RETURN_CODE code]
#                 <shared options>)
# One entry per test function of the Qt Test program TARGET, named
# TARGET.function, each run as `[WRAPPER...] TARGET function`. The functions
# are listed (`TARGET -functions`) when CTest starts.
function(brimlet_qt_test target)
  cmake_parse_arguments(arg "" "SKIP_RETURN_CODE" "WRAPPER" ${ARGN})
  _brimlet_test_settings(with ${arg_UNPARSED_ARGUMENTS})
  _brimlet_property_text(properties with)
  if(arg_SKIP_RETURN_CODE)
    string(APPEND properties " SKIP_RETURN_CODE ${arg_SKIP_RETURN_CODE}")
  endif()
  # A QSKIP ends the function with success: CTest shows it as skipped.
  string(APPEND properties " SKIP_REGULAR_EXPRESSION \"SKIP   : \"")
  set(script "${CMAKE_CURRENT_BINARY_DIR}/${target}_tests.cmake")
  file(GENERATE OUTPUT "${script}" CONTENT "\
set(program \"$<TARGET_FILE:${target}>\")
if(NOT EXISTS \"\${program}\")
  add_test(${target}_NOT_BUILT ${target}_NOT_BUILT)
  return()
endif()
set(ENV{QT_QPA_PLATFORM} offscreen)
execute_process(COMMAND \"\${program}\" -functions OUTPUT_VARIABLE functions RESULT_VARIABLE status ERROR_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR \"${target} -functions failed: \${status}\")
endif()
string(REGEX MATCHALL \"[A-Za-z_0-9]+\\\\(\\\\)\" functions \"\${functions}\")
foreach(function IN LISTS functions)
  string(REPLACE \"()\" \"\" function \"\${function}\")
  add_test(${target}.\${function} ${arg_WRAPPER} \"\${program}\" \${function})
  set_tests_properties(${target}.\${function} PROPERTIES ${properties})
endforeach()
")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${script}")
endfunction()
