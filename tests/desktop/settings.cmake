# The real-desktop tests start Xvfb, a tray, the simulated Mac and AerivoMac itself.
add_dependencies(${target} aerivo-sim-mac AerivoMac)
target_sources(${target} PRIVATE "${PROJECT_SOURCE_DIR}/tests/e2e/SimulatorProcess.cpp")
target_compile_definitions(${target} PRIVATE
    AERIVO_SIM_MAC_PATH="$<TARGET_FILE:aerivo-sim-mac>"
    AERIVO_MAC_PATH="$<TARGET_FILE:AerivoMac>")
