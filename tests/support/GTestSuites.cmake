# Run by CTest before the tests: one test per suite of a GoogleTest executable, each running
# the suite's cases in one process, and one test for the suites named to share a process,
# named after them all ("A+B+C"). The list is read from the executable again whenever it,
# this script or the file including it changed after the list was written.
#   TOVIK_GTEST_EXECUTABLE   the test executable
#   TOVIK_GTEST_SUITES_FILE  where the tests are written for CTest
#   TOVIK_GTEST_TOGETHER     the suites that share one process
#   TOVIK_GTEST_PROPERTIES   test properties every test gets beside its time-out
if(NOT EXISTS "${TOVIK_GTEST_EXECUTABLE}")
    get_filename_component(target "${TOVIK_GTEST_EXECUTABLE}" NAME)
    add_test(${target}_NOT_BUILT ${target}_NOT_BUILT)
    return()
endif()

if(NOT EXISTS "${TOVIK_GTEST_SUITES_FILE}" OR
   NOT "${TOVIK_GTEST_SUITES_FILE}" IS_NEWER_THAN "${TOVIK_GTEST_EXECUTABLE}" OR
   NOT "${TOVIK_GTEST_SUITES_FILE}" IS_NEWER_THAN "${CMAKE_CURRENT_LIST_FILE}" OR
   NOT "${TOVIK_GTEST_SUITES_FILE}" IS_NEWER_THAN "${CMAKE_PARENT_LIST_FILE}")
    execute_process(COMMAND "${TOVIK_GTEST_EXECUTABLE}" --gtest_list_tests
                    OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE result
                    TIMEOUT 60)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${TOVIK_GTEST_EXECUTABLE} --gtest_list_tests failed: ${result}\n${errors}")
    endif()
    # A suite's line starts at the margin and ends its name with a dot; its cases follow,
    # indented.
    string(REGEX MATCHALL "(^|\n)[^ \n][^ \n]*\\." suites "${listing}")
    list(TRANSFORM suites STRIP)
    list(TRANSFORM suites REPLACE "\\.$" "")
    set(tests "")
    set(names "")
    # (list(FIND) rather than if(IN_LIST): CTest reads this file under old policies.)
    foreach(suite IN LISTS suites)
        list(FIND TOVIK_GTEST_TOGETHER "${suite}" shared)
        if(shared EQUAL -1)
            string(APPEND tests
                   "add_test([==[${suite}]==] [==[${TOVIK_GTEST_EXECUTABLE}]==] "
                   "[==[--gtest_filter=${suite}.*]==])\n")
            string(APPEND names " [==[${suite}]==]")
        endif()
    endforeach()
    if(TOVIK_GTEST_TOGETHER)
        list(JOIN TOVIK_GTEST_TOGETHER "+" together)
        list(TRANSFORM TOVIK_GTEST_TOGETHER APPEND ".*" OUTPUT_VARIABLE patterns)
        list(JOIN patterns ":" filter)
        string(APPEND tests
               "add_test([==[${together}]==] [==[${TOVIK_GTEST_EXECUTABLE}]==] "
               "[==[--gtest_filter=${filter}]==])\n")
        string(APPEND names " [==[${together}]==]")
    endif()
    # A suite named to share a process that the executable does not have fails as a test of
    # its own, so that a renamed suite is noticed.
    foreach(suite IN LISTS TOVIK_GTEST_TOGETHER)
        list(FIND suites "${suite}" found)
        if(found EQUAL -1)
            string(APPEND tests "add_test([==[${suite}_NOT_FOUND]==] [==[${suite}_NOT_FOUND]==])\n")
        endif()
    endforeach()
    file(WRITE "${TOVIK_GTEST_SUITES_FILE}" "${tests}set(tovik_gtest_suites${names})\n")
endif()
include("${TOVIK_GTEST_SUITES_FILE}")
if(tovik_gtest_suites)
    set_tests_properties(${tovik_gtest_suites} PROPERTIES TIMEOUT 300 ${TOVIK_GTEST_PROPERTIES})
endif()
