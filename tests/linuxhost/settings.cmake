# The install-path tests run the real aerivo-install-helper behind stand-ins for pkexec and
# systemctl in a temporary root.
add_dependencies(${target} aerivo-install-helper)
target_compile_definitions(${target} PRIVATE
    AERIVO_INSTALL_HELPER_PATH="$<TARGET_FILE:aerivo-install-helper>")
