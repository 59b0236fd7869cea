# Test registration.
#
#   cld_add_test(NAME name SOURCES a.cpp b.cpp [LIBS lib...] [GUI] [CORE_APP]
#                [TIMEOUT seconds] [LABELS l...])
#
# GUI      the test gets a QApplication on the offscreen platform (headless).
# CORE_APP the test gets a QCoreApplication.
# Neither: plain GoogleTest main, no Qt at all.
#
#   cld_add_fuzzer(NAME name SOURCES a.cpp [LIBS lib...])
#
# builds a libFuzzer target when CLD_FUZZ is on; .ci/run runs every one of them for a
# bounded time. A fuzz build (CLD_FUZZ) builds no tests; the fuzz targets are
# registered next to the tests of their area.
set(CLD_TEST_BIN_DIR ${CMAKE_BINARY_DIR}/tests/bin)
set(CLD_FUZZ_BIN_DIR ${CMAKE_BINARY_DIR}/fuzz)

function(cld_add_test)
    cmake_parse_arguments(T "GUI;CORE_APP" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    if(CLD_FUZZ)
        # A fuzz build builds no tests, but the target exists (outside "all") so that
        # the area's CMakeLists.txt can still set its properties.
        add_executable(${T_NAME} EXCLUDE_FROM_ALL ${T_SOURCES})
        foreach(lib ${T_LIBS})
            if(TARGET ${lib} OR NOT lib MATCHES "::")
                target_link_libraries(${T_NAME} PRIVATE ${lib})
            endif()
        endforeach()
        return()
    endif()
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE cld_common cld_testsupport ${T_LIBS}
        GTest::gtest GTest::gmock Threads::Threads)
    if(T_GUI)
        target_link_libraries(${T_NAME} PRIVATE cld_testmain_gui)
    elseif(T_CORE_APP)
        target_link_libraries(${T_NAME} PRIVATE cld_testmain_core)
    else()
        target_link_libraries(${T_NAME} PRIVATE cld_testmain_plain)
    endif()
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CLD_TEST_BIN_DIR})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 600)
    endif()
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    set(env "CLD_BIN_DIR=${CLD_BIN_DIR}" "CLD_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
    if(T_GUI)
        list(APPEND env "QT_QPA_PLATFORM=offscreen")
    endif()
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${env}")
    if(T_LABELS)
        set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
    endif()
endfunction()

function(cld_add_fuzzer)
    cmake_parse_arguments(F "" "NAME" "SOURCES;LIBS" ${ARGN})
    if(CLD_FUZZ)
        add_executable(${F_NAME} ${F_SOURCES})
        target_link_libraries(${F_NAME} PRIVATE cld_common ${F_LIBS})
        target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
        target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
        set_target_properties(${F_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CLD_FUZZ_BIN_DIR})
    endif()
endfunction()
