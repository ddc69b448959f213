# End-to-end tests start the simulated Mac: build it first and tell the tests where it is.
add_dependencies(${target} aerivo-sim-mac)
target_compile_definitions(${target} PRIVATE
    AERIVO_SIM_MAC_PATH="$<TARGET_FILE:aerivo-sim-mac>")
# The application's end-to-end tests run AerivoMac against the simulator.
if(TARGET AerivoMac)
    add_dependencies(${target} AerivoMac)
    target_compile_definitions(${target} PRIVATE AERIVO_MAC_PATH="$<TARGET_FILE:AerivoMac>")
endif()
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
