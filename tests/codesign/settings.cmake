# The code-signing tests sign and run a small client program, run the signing tool, and read
# the signed bundle the default build assembles.
if(NOT TARGET aerivo_test_client)
    add_executable(aerivo_test_client "${PROJECT_SOURCE_DIR}/tests/support/programs/aerivo_test_client.cpp")
    target_link_libraries(aerivo_test_client PRIVATE aerivo_warnings)
endif()
add_dependencies(${target} aerivo_test_client aerivo-codesign aerivo_app_bundle)
target_link_libraries(${target} PRIVATE aerivo_dev_signing)
target_compile_definitions(${target} PRIVATE
    AERIVO_TEST_CLIENT_PATH="$<TARGET_FILE:aerivo_test_client>"
    AERIVO_CODESIGN_TOOL_PATH="$<TARGET_FILE:aerivo-codesign>"
    AERIVO_APP_BUNDLE_PATH="${CMAKE_BINARY_DIR}/Aerivo Mac.app"
    AERIVO_APP_INFO_JSON="${AERIVO_APP_INFO_JSON}")
if(TARGET AerivoMacHelper)
    target_compile_definitions(${target} PRIVATE AERIVO_BUNDLE_HAS_HELPER=1)
endif()
