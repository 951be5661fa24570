# Settings every target shares, carried by one INTERFACE target.
add_library(tessaro_flags INTERFACE)
target_compile_features(tessaro_flags INTERFACE cxx_std_20)
target_compile_options(tessaro_flags INTERFACE -Wall -Wextra -Werror)
# GCC 12 reports a false -Wrestrict overlap in std::string's operator+ when
# optimising (GCC bug 105329); it is not a fault of ours.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(tessaro_flags INTERFACE -Wno-restrict)
endif()
# Plug-ins must really unload at dlclose (they write their refresh dates
# then); unique symbols of inline and template statics would pin them.
target_compile_options(tessaro_flags INTERFACE -fno-gnu-unique)

if(TESSARO_SANITIZE STREQUAL "address")
    set(_sanitize -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
elseif(TESSARO_SANITIZE STREQUAL "thread")
    set(_sanitize -fsanitize=thread -fno-omit-frame-pointer)
elseif(TESSARO_SANITIZE)
    message(FATAL_ERROR "TESSARO_SANITIZE must be empty, address or thread")
endif()
if(_sanitize)
    target_compile_options(tessaro_flags INTERFACE ${_sanitize})
    target_link_options(tessaro_flags INTERFACE ${_sanitize})
endif()

# A site plug-in: a shared library without the usual "lib" prefix, placed in
# dist/kernel/<subdir>, that finds the shared libraries of dist/ by rpath.
# Called from the site's folder, whose name is the site's (TESSARO_SITE).
function(tessaro_add_plugin target)
    cmake_parse_arguments(ARG "" "OUTPUT_NAME;SUBDIR" "SOURCES" ${ARGN})
    add_library(${target} MODULE ${ARG_SOURCES})
    target_link_libraries(${target} PRIVATE plugin_common tessaro_flags)
    set(_dir ${TESSARO_DIST_DIR}/kernel)
    set(_rpath "$ORIGIN/..")
    if(ARG_SUBDIR)
        set(_dir ${_dir}/${ARG_SUBDIR})
        set(_rpath "$ORIGIN/../..")
    endif()
    set_target_properties(${target} PROPERTIES
        PREFIX ""
        OUTPUT_NAME ${ARG_OUTPUT_NAME}
        LIBRARY_OUTPUT_DIRECTORY ${_dir}
        BUILD_RPATH "${_rpath}")
    get_filename_component(_site ${CMAKE_CURRENT_SOURCE_DIR} NAME)
    set_target_properties(${target} PROPERTIES TESSARO_SITE ${_site})
    set_property(GLOBAL APPEND PROPERTY TESSARO_PLUGIN_TARGETS ${target})
endfunction()

# One file per site plug-in: `pattern` with "<site>" standing for each site's
# name, e.g. tessaro_site_files(pages "${dir}/<site>_pages.cpp").
function(tessaro_site_files out pattern)
    get_property(_targets GLOBAL PROPERTY TESSARO_PLUGIN_TARGETS)
    set(_files)
    foreach(target ${_targets})
        get_target_property(_site ${target} TESSARO_SITE)
        string(REPLACE "<site>" "${_site}" _file "${pattern}")
        list(APPEND _files ${_file})
    endforeach()
    set(${out} ${_files} PARENT_SCOPE)
endfunction()

# A test program registered with CTest. TSAN marks tests that exercise code
# shared between threads; only those are built and run in the ThreadSanitizer
# tree.
if(NOT TARGET tsan_tests)
    add_custom_target(tsan_tests)
endif()
function(tessaro_add_test target)
    cmake_parse_arguments(ARG "TSAN" "" "SOURCES;LIBS;LABELS" ${ARGN})
    if(TESSARO_SANITIZE STREQUAL "thread" AND NOT ARG_TSAN)
        return()
    endif()
    add_executable(${target} ${ARG_SOURCES})
    target_link_libraries(${target} PRIVATE ${ARG_LIBS} test_support GTest::gtest GTest::gtest_main tessaro_flags)
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    add_test(NAME ${target} COMMAND ${target})
    set(_labels ${ARG_LABELS})
    if(ARG_TSAN)
        list(APPEND _labels tsan)
        add_dependencies(tsan_tests ${target})
    endif()
    set_tests_properties(${target} PROPERTIES
        TIMEOUT 300
        ENVIRONMENT "TZ=Asia/Shanghai;LC_ALL=C.UTF-8;TESSARO_LANG=en"
        LABELS "${_labels}")
endfunction()

# A benchmark: prints its figures beside its targets, exits non-zero on a miss.
function(tessaro_add_bench target)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${target} ${ARG_SOURCES})
    target_link_libraries(${target} PRIVATE ${ARG_LIBS} tessaro_flags)
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()
