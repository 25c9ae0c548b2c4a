# The test groups of tests/test_groups.txt, for the CTest entries.
set(norvane_test_groups_file ${CMAKE_CURRENT_LIST_DIR}/test_groups.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${norvane_test_groups_file})
file(STRINGS ${norvane_test_groups_file} norvane_test_group_lines REGEX "^[a-z]")
foreach(line IN LISTS norvane_test_group_lines)
  string(REGEX REPLACE "[ \t]+" ";" fields "${line}")
  list(POP_FRONT fields group program)
  set_property(GLOBAL PROPERTY norvane_test_group_${group} "${fields}")
  set_property(GLOBAL APPEND PROPERTY norvane_test_program_${program} ${fields})
endforeach()

# The patterns of `groups`, joined as gtest joins them; a group that is not
# in the table stops the configuration.
function(norvane_test_patterns var)
  set(patterns)
  foreach(group IN LISTS ARGN)
    get_property(known GLOBAL PROPERTY norvane_test_group_${group} SET)
    if(NOT known)
      message(FATAL_ERROR "No test group ${group} in ${norvane_test_groups_file}")
    endif()
    get_property(group_patterns GLOBAL PROPERTY norvane_test_group_${group})
    list(APPEND patterns ${group_patterns})
  endforeach()
  list(JOIN patterns ":" joined)
  set(${var} "${joined}" PARENT_SCOPE)
endfunction()

# norvane_add_group_test(NAME name COMMAND program [arguments...] GROUPS group...)
#   runs the groups' tests, and fails when they find none.
# norvane_add_group_test(NAME name COMMAND program [arguments...] EXCEPT group...)
#   runs every test of the program but the groups'.
function(norvane_add_group_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "NAME" "COMMAND;GROUPS;EXCEPT")
  if(arg_GROUPS)
    norvane_test_patterns(filter ${arg_GROUPS})
  else()
    norvane_test_patterns(filter ${arg_EXCEPT})
    set(filter "-${filter}")
  endif()
  add_test(NAME ${arg_NAME} COMMAND ${arg_COMMAND} --gtest_filter=${filter})
  if(arg_GROUPS)
    set_tests_properties(${arg_NAME} PROPERTIES FAIL_REGULAR_EXPRESSION "\\] 0 tests from 0 test suites ran")
  endif()
endfunction()

# Has `target`, the program `program` of the table, check that each of its
# patterns finds a test.
function(norvane_check_test_groups target program)
  get_property(patterns GLOBAL PROPERTY norvane_test_program_${program})
  list(JOIN patterns ":" joined)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/common/test_groups_check.cpp)
  target_compile_definitions(${target} PRIVATE NORVANE_GROUPED_TESTS="${joined}")
endfunction()
