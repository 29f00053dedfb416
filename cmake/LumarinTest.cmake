# lumarin_add_test(NAME name SOURCES a.cpp ... LIBS lib ... [LABELS l ...] [TIMEOUT s])
# One QtTest or plain executable per behaviour group, registered with CTest.
# A test labelled "concurrent" exercises code that runs on several threads: the target
# `concurrent_tests` builds all of them, and the test command runs them under ThreadSanitizer.
add_custom_target(concurrent_tests)
function(lumarin_add_test)
    cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE lumarin_flags Qt6::Test ${T_LIBS})
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES
        TIMEOUT ${T_TIMEOUT}
        LABELS "${T_LABELS}"
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LUMARIN_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
    if("concurrent" IN_LIST T_LABELS)
        add_dependencies(concurrent_tests ${T_NAME})
    endif()
endfunction()
