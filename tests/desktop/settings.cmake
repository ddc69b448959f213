# The real-desktop tests start Xvfb, a tray, the simulated Mac and AerivoMac itself: the signed
# copy in the build's application bundle, as a user would start it.
add_dependencies(${target} aerivo-sim-mac AerivoMac aerivo_app_bundle)
target_sources(${target} PRIVATE "${PROJECT_SOURCE_DIR}/tests/e2e/SimulatorProcess.cpp")
target_compile_definitions(${target} PRIVATE
    AERIVO_SIM_MAC_PATH="$<TARGET_FILE:aerivo-sim-mac>"
    AERIVO_MAC_PATH="${PROJECT_BINARY_DIR}/Aerivo Mac.app/Contents/MacOS/AerivoMac")
