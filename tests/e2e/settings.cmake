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
