# Warning and sanitizer settings live on two interface targets that every real target links
# PRIVATE, so flags never leak into consumers and no target can forget them.

add_library(aerivo_warnings INTERFACE)
target_compile_options(aerivo_warnings INTERFACE -Wall -Wextra -Wpedantic -Werror
    # GCC 12 reports -Wrestrict inside std::string concatenation at -O2 and above, a false
    # positive of its own headers (GCC bug 105651).
    $<$<AND:$<CXX_COMPILER_ID:GNU>,$<VERSION_LESS:$<CXX_COMPILER_VERSION>,13>>:-Wno-restrict>)

add_library(aerivo_options INTERFACE)
target_compile_features(aerivo_options INTERFACE cxx_std_20)

set(AERIVO_SANITIZE "" CACHE STRING "Comma-separated sanitizers (address,undefined or thread)")
if(AERIVO_SANITIZE)
    include(CheckCXXSourceCompiles)
    set(CMAKE_REQUIRED_FLAGS "-fsanitize=${AERIVO_SANITIZE}")
    set(CMAKE_REQUIRED_LINK_OPTIONS "-fsanitize=${AERIVO_SANITIZE}")
    check_cxx_source_compiles("int main() { return 0; }" AERIVO_SANITIZER_WORKS)
    unset(CMAKE_REQUIRED_FLAGS)
    unset(CMAKE_REQUIRED_LINK_OPTIONS)
    if(NOT AERIVO_SANITIZER_WORKS)
        message(FATAL_ERROR "This compiler cannot build with -fsanitize=${AERIVO_SANITIZE}")
    endif()
    target_compile_options(aerivo_options INTERFACE -fsanitize=${AERIVO_SANITIZE}
                                                    -fno-omit-frame-pointer -fno-sanitize-recover=all)
    target_link_options(aerivo_options INTERFACE -fsanitize=${AERIVO_SANITIZE})
    if(AERIVO_SANITIZE MATCHES "thread" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        # Asio's lock-free paths use std::atomic_thread_fence, which GCC flags under ThreadSanitizer
        # (-Wtsan); the fences are correct, TSan just cannot model them.
        target_compile_options(aerivo_options INTERFACE -Wno-tsan)
    endif()
endif()

# aerivo_layer(NAME DIRS... [DEPS ...]): one static library built from every .cpp in the given
# folders. A folder set with no sources yet gives an interface library, so dependants link
# unchanged while a layer is still empty.
function(aerivo_layer name)
    cmake_parse_arguments(ARG "" "" "DIRS;DEPS;PRIVATE_DEPS" ${ARGN})
    set(sources "")
    foreach(dir IN LISTS ARG_DIRS)
        file(GLOB dir_sources CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/${dir}/*.cpp")
        list(APPEND sources ${dir_sources})
    endforeach()
    if(sources)
        add_library(${name} STATIC ${sources})
        target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}")
        target_link_libraries(${name} PUBLIC aerivo_options ${ARG_DEPS}
                                      PRIVATE aerivo_warnings ${ARG_PRIVATE_DEPS})
    else()
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE "${PROJECT_SOURCE_DIR}")
        target_link_libraries(${name} INTERFACE aerivo_options ${ARG_DEPS})
    endif()
endfunction()
