# Run by CTest before the tests: one test per suite of a GoogleTest executable, each running
# the suite's cases in one process. The list is read from the executable again whenever it
# or this script changed after the list was written.
#   TOVIK_GTEST_EXECUTABLE   the test executable
#   TOVIK_GTEST_SUITES_FILE  where the tests are written for CTest
if(NOT EXISTS "${TOVIK_GTEST_EXECUTABLE}")
    get_filename_component(target "${TOVIK_GTEST_EXECUTABLE}" NAME)
    add_test(${target}_NOT_BUILT ${target}_NOT_BUILT)
    return()
endif()

if(NOT EXISTS "${TOVIK_GTEST_SUITES_FILE}" OR
   NOT "${TOVIK_GTEST_SUITES_FILE}" IS_NEWER_THAN "${TOVIK_GTEST_EXECUTABLE}" OR
   NOT "${TOVIK_GTEST_SUITES_FILE}" IS_NEWER_THAN "${CMAKE_CURRENT_LIST_FILE}")
    execute_process(COMMAND "${TOVIK_GTEST_EXECUTABLE}" --gtest_list_tests
                    OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE result
                    TIMEOUT 60)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${TOVIK_GTEST_EXECUTABLE} --gtest_list_tests failed: ${result}\n${errors}")
    endif()
    # A suite's line starts at the margin and ends its name with a dot; its cases follow,
    # indented.
    string(REGEX MATCHALL "(^|\n)[^ \n][^ \n]*\\." suites "${listing}")
    set(tests "")
    foreach(suite IN LISTS suites)
        string(STRIP "${suite}" suite)
        string(REGEX REPLACE "\\.$" "" suite "${suite}")
        string(APPEND tests
               "add_test([==[${suite}]==] [==[${TOVIK_GTEST_EXECUTABLE}]==] "
               "[==[--gtest_filter=${suite}.*]==])\n"
               "set_tests_properties([==[${suite}]==] PROPERTIES TIMEOUT 300)\n")
    endforeach()
    file(WRITE "${TOVIK_GTEST_SUITES_FILE}" "${tests}")
endif()
include("${TOVIK_GTEST_SUITES_FILE}")
