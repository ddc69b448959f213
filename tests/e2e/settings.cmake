# End-to-end tests start the simulated Mac: build it first and tell the tests where it is.
add_dependencies(${target} aerivo-sim-mac)
target_compile_definitions(${target} PRIVATE
    AERIVO_SIM_MAC_PATH="$<TARGET_FILE:aerivo-sim-mac>")
# The application's end-to-end tests run AerivoMac against the simulator.
if(TARGET AerivoMac)
    add_dependencies(${target} AerivoMac)
    target_compile_definitions(${target} PRIVATE AERIVO_MAC_PATH="$<TARGET_FILE:AerivoMac>")
endif()
# The helper's end-to-end tests run AerivoMacHelper against the simulator.
if(TARGET AerivoMacHelper)
    add_dependencies(${target} AerivoMacHelper)
    target_compile_definitions(${target} PRIVATE
        AERIVO_MAC_HELPER_PATH="$<TARGET_FILE:AerivoMacHelper>")
endif()
# The helper socket's stand-in client (signed as the app by the tests) and the helper's process
# support, which signs with the platform's code signer.
if(NOT TARGET aerivo_helper_request)
    add_executable(aerivo_helper_request
        "${PROJECT_SOURCE_DIR}/tests/support/programs/aerivo_helper_request.cpp"
        "${PROJECT_SOURCE_DIR}/tests/support/SocketFlood.cpp")
    target_include_directories(aerivo_helper_request PRIVATE "${PROJECT_SOURCE_DIR}")
    target_link_libraries(aerivo_helper_request PRIVATE aerivo_platform aerivo_warnings)
endif()
add_dependencies(${target} aerivo_helper_request)
target_compile_definitions(${target} PRIVATE
    AERIVO_HELPER_REQUEST_PATH="$<TARGET_FILE:aerivo_helper_request>")
# A small socket-activated job for the service manager's tests (not part of any test program's
# sources: tests/support/programs is not globbed).
add_executable(aerivo-e2e-socket-job
    "${PROJECT_SOURCE_DIR}/tests/support/programs/SocketActivatedJob.cpp")
target_link_libraries(aerivo-e2e-socket-job PRIVATE aerivo_options aerivo_warnings)
add_dependencies(${target} aerivo-e2e-socket-job)
target_compile_definitions(${target} PRIVATE
    AERIVO_E2E_SOCKET_JOB_PATH="$<TARGET_FILE:aerivo-e2e-socket-job>")
# The simulator puts the build's development anchor into every root it serves.
add_dependencies(${target} aerivo_dev_signing_identity)
target_link_libraries(${target} PRIVATE aerivo_dev_signing)
# The helper client's tests run the app inside its signed bundle, where its helper is.
add_dependencies(${target} aerivo_app_bundle)
target_compile_definitions(${target} PRIVATE
    AERIVO_APP_BUNDLE_PATH="${PROJECT_BINARY_DIR}/Aerivo Mac.app")
# The soak's short form runs the soak program (tools/soak, added after the tests).
add_dependencies(${target} aerivo-soak)
target_compile_definitions(${target} PRIVATE AERIVO_SOAK_PATH="$<TARGET_FILE:aerivo-soak>")
