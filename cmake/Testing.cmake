# GoogleTest built from Debian's sources with our own compiler, so that the cross build gets it too.
include(GoogleTest)

set(VELLUMAR_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${VELLUMAR_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL SYSTEM)

# Tests find the repository's files (sample photos, test data) through this folder. Windows programs
# under Wine see the host's root as drive Z:.
if(CMAKE_CROSSCOMPILING AND WIN32)
    set(VELLUMAR_TEST_SOURCE_DIR "Z:${CMAKE_SOURCE_DIR}")
else()
    set(VELLUMAR_TEST_SOURCE_DIR "${CMAKE_SOURCE_DIR}")
endif()

# The 64-bit toolbar build runs its tests in the same CTest run as the 32-bit Windows build (under 64-bit
# Wine): its test names end in _x64, and its scripts are told to use a 64-bit prefix.
if(CMAKE_CROSSCOMPILING AND WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(VELLUMAR_TEST_SUFFIX _x64)
    set(VELLUMAR_WINE_ENVIRONMENT VELLUMAR_WINEARCH=win64)
else()
    set(VELLUMAR_TEST_SUFFIX "")
    set(VELLUMAR_WINE_ENVIRONMENT "")
endif()

# The programs of the tests labelled "threads": all that the ThreadSanitizer run needs to build.
add_custom_target(threaded_tests)

# vellumar_add_gtest(NAME SOURCES file... [LIBS lib...] [LABELS label...])
# Natively every test case is its own CTest test; under Wine one CTest test runs the whole program,
# since each program start costs Wine a fraction of a second.
function(vellumar_add_gtest name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} test_support GTest::gmock GTest::gtest_main)
    target_compile_definitions(${name} PRIVATE VELLUMAR_SOURCE_DIR="${VELLUMAR_TEST_SOURCE_DIR}")
    vellumar_warnings(${name})
    if("threads" IN_LIST T_LABELS)
        add_dependencies(threaded_tests ${name})
    endif()
    if(CMAKE_CROSSCOMPILING)
        add_test(NAME ${name}${VELLUMAR_TEST_SUFFIX} COMMAND ${name})
        set_tests_properties(${name}${VELLUMAR_TEST_SUFFIX} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "wine;${T_LABELS}")
    else()
        gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
    endif()
endfunction()
