# The Debian package: `cpack` builds it once per test run (the aerivo_deb fixture, after the
# build made every program and the bundle), and each check below runs the tool a maintainer
# would, on the package or on the files it holds.
set(aerivo_package_tree "${PROJECT_BINARY_DIR}/deb/tree")
set(aerivo_packaged "${aerivo_package_tree}/usr/share")
add_test(NAME package.build
    COMMAND "${CMAKE_CPACK_COMMAND}" -G DEB --config "${PROJECT_BINARY_DIR}/CPackConfig.cmake"
    WORKING_DIRECTORY "${PROJECT_BINARY_DIR}")
add_test(NAME package.contents
    COMMAND sh -c "rm -rf \"$1\" && dpkg-deb -x \"$2\" \"$1\"" sh "${aerivo_package_tree}"
            "${AERIVO_PACKAGE_FILE}")
add_test(NAME package.lintian COMMAND lintian --fail-on error "${AERIVO_PACKAGE_FILE}")
add_test(NAME package.desktop-entry COMMAND desktop-file-validate
    "${aerivo_packaged}/applications/${AERIVO_BUNDLE_IDENTIFIER}.desktop")
add_test(NAME package.appstream COMMAND appstreamcli validate --no-net
    "${aerivo_packaged}/metainfo/${AERIVO_BUNDLE_IDENTIFIER}.metainfo.xml")
# The DTD comes with polkitd; --nonet keeps xmllint from fetching the one the file names.
add_test(NAME package.polkit-action COMMAND xmllint --noout --nonet
    --dtdvalid /usr/share/polkit-1/policyconfig-1.dtd
    "${aerivo_packaged}/polkit-1/actions/${AERIVO_BUNDLE_IDENTIFIER}.policy")
set_tests_properties(package.build PROPERTIES FIXTURES_SETUP aerivo_deb LABELS package)
set_tests_properties(package.contents PROPERTIES FIXTURES_SETUP aerivo_deb_tree
                     FIXTURES_REQUIRED aerivo_deb LABELS package)
set_tests_properties(package.lintian PROPERTIES FIXTURES_REQUIRED aerivo_deb LABELS package)
set_tests_properties(package.desktop-entry package.appstream package.polkit-action PROPERTIES
                     FIXTURES_REQUIRED aerivo_deb_tree LABELS package)

# The end-to-end test installs the package and runs it against the simulated Mac.
target_sources(${target} PRIVATE "${PROJECT_SOURCE_DIR}/tests/e2e/SimulatorProcess.cpp")
add_dependencies(${target} aerivo-sim-mac aerivo_app_bundle aerivo-install-helper)
target_compile_definitions(${target} PRIVATE
    AERIVO_SIM_MAC_PATH="$<TARGET_FILE:aerivo-sim-mac>"
    AERIVO_PACKAGE_FILE="${AERIVO_PACKAGE_FILE}")
