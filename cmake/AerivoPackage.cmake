# Install rules and the Debian package (scripts/package runs `cpack` on a release build tree).
#
# The layout follows the FHS; the places the programs themselves look at are fixed, so the
# prefix is /usr:
#   /usr/lib/aerivo-mac/Aerivo Mac.app/        the signed bundle, programs stripped and signed
#                                              again by the build's team
#   /usr/bin/aerivo-mac                        the launcher: a link to the bundle's AerivoMac
#   /usr/libexec/aerivo-mac/aerivo-install-helper   the root side of installing the helper
#                                              (AERIVO_INSTALL_HELPER_PATH), named by
#   /usr/share/polkit-1/actions/<id>.policy    the polkit action pkexec asks about
#   /usr/share/applications/<id>.desktop, /usr/share/icons/hicolor/scalable/apps/<id>.svg,
#   /usr/share/metainfo/<id>.metainfo.xml      the desktop entry, its icon, AppStream metadata
#   /usr/share/man/man1/aerivo-mac.1.gz        the launcher's manual page
#   /etc/aerivo-mac/trust-anchors/             the signing team's anchor (a conffile), where a
#                                              Linux host's helper looks (SystemPaths)
# The helper itself is not installed by the package: the app installs it through pkexec into
# /var/lib/aerivo-mac/helpers with its systemd units (the socket carries the installing user's
# group), and the package's prerm removes that installation again.

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
    set(CMAKE_INSTALL_PREFIX "/usr" CACHE PATH "Install prefix (the programs look under /usr)"
        FORCE)
endif()
include(GNUInstallDirs)

set(AERIVO_LAUNCHER_NAME "aerivo-mac")
set(AERIVO_CONFIG_DIR "/etc/aerivo-mac")
set(AERIVO_TRUST_ANCHOR_DIR "${AERIVO_CONFIG_DIR}/trust-anchors")
set(AERIVO_HELPER_STATE_DIR "/var/lib/aerivo-mac")
# Not CMAKE_INSTALL_LIBDIR: under /usr that is Debian's multiarch folder for shared libraries,
# while the bundle is the package's private tree (and the launcher's link names it).
set(aerivo_bundle_destination "lib/aerivo-mac")
get_filename_component(aerivo_installer_destination "${AERIVO_INSTALL_HELPER_PATH}" DIRECTORY)
set(aerivo_package_dir "${AERIVO_GENERATED_DIR}/package")

# The bundle as built, then each program in it stripped (Debian ships no debugging symbols in
# the program itself) and, where the build signed it, signed again: stripping changes the bytes
# the signature covers.
install(DIRECTORY "${AERIVO_APP_BUNDLE}" DESTINATION "${aerivo_bundle_destination}"
        USE_SOURCE_PERMISSIONS)
get_property(aerivo_signed_files GLOBAL PROPERTY AERIVO_BUNDLE_SIGNED_FILES)
foreach(relative IN LISTS aerivo_signed_files ITEMS "Contents/MacOS/aerivo-install-helper")
    set(installed "\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${aerivo_bundle_destination}/")
    string(APPEND installed "Aerivo Mac.app/${relative}")
    set(code "execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded \"${installed}\"
                              COMMAND_ERROR_IS_FATAL ANY)\n")
    get_property(sign_arguments GLOBAL PROPERTY "AERIVO_SIGN_${relative}")
    if(sign_arguments)
        set(quoted "")
        foreach(argument IN LISTS sign_arguments)
            string(APPEND quoted " \"${argument}\"")
        endforeach()
        string(APPEND code "execute_process(COMMAND \"$<TARGET_FILE:aerivo-codesign>\" sign
                            \"${installed}\"${quoted} OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)\n")
    endif()
    install(CODE "${code}")
endforeach()

file(MAKE_DIRECTORY "${aerivo_package_dir}")
file(CREATE_LINK "../${aerivo_bundle_destination}/Aerivo Mac.app/Contents/MacOS/AerivoMac"
     "${aerivo_package_dir}/${AERIVO_LAUNCHER_NAME}" SYMBOLIC)
install(FILES "${aerivo_package_dir}/${AERIVO_LAUNCHER_NAME}" DESTINATION "${CMAKE_INSTALL_BINDIR}")

install(PROGRAMS "$<TARGET_FILE:aerivo-install-helper>" DESTINATION "${aerivo_installer_destination}")
install(CODE "execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded
    \"\$ENV{DESTDIR}${AERIVO_INSTALL_HELPER_PATH}\" COMMAND_ERROR_IS_FATAL ANY)")
install(FILES "${AERIVO_POLKIT_POLICY}" DESTINATION "${CMAKE_INSTALL_DATADIR}/polkit-1/actions")
install(FILES "${AERIVO_DEV_TRUST_ANCHOR}" DESTINATION "${AERIVO_TRUST_ANCHOR_DIR}")

configure_file("${PROJECT_SOURCE_DIR}/packaging/aerivo-mac.desktop.in"
               "${aerivo_package_dir}/${AERIVO_BUNDLE_IDENTIFIER}.desktop" @ONLY)
configure_file("${PROJECT_SOURCE_DIR}/packaging/metainfo.xml.in"
               "${aerivo_package_dir}/${AERIVO_BUNDLE_IDENTIFIER}.metainfo.xml" @ONLY)
configure_file("${PROJECT_SOURCE_DIR}/packaging/icon.svg"
               "${aerivo_package_dir}/${AERIVO_BUNDLE_IDENTIFIER}.svg" COPYONLY)
install(FILES "${aerivo_package_dir}/${AERIVO_BUNDLE_IDENTIFIER}.desktop"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES "${aerivo_package_dir}/${AERIVO_BUNDLE_IDENTIFIER}.metainfo.xml"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
install(FILES "${aerivo_package_dir}/${AERIVO_BUNDLE_IDENTIFIER}.svg"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")

# The launcher's manual page and Debian's documentation files (the copyright and a changelog),
# compressed as Debian wants them.
configure_file("${PROJECT_SOURCE_DIR}/packaging/changelog.in" "${aerivo_package_dir}/changelog"
               @ONLY)
configure_file("${PROJECT_SOURCE_DIR}/packaging/aerivo-mac.1.in"
               "${aerivo_package_dir}/${AERIVO_LAUNCHER_NAME}.1" @ONLY)
execute_process(COMMAND gzip -9 -n -f -k "${aerivo_package_dir}/changelog"
                        "${aerivo_package_dir}/${AERIVO_LAUNCHER_NAME}.1" COMMAND_ERROR_IS_FATAL ANY)
install(FILES "${PROJECT_SOURCE_DIR}/packaging/copyright" "${aerivo_package_dir}/changelog.gz"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/${AERIVO_LAUNCHER_NAME}")
install(FILES "${aerivo_package_dir}/${AERIVO_LAUNCHER_NAME}.1.gz"
        DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")

# Maintainer scripts and the conffile list.
foreach(script prerm postrm)
    configure_file("${PROJECT_SOURCE_DIR}/packaging/${script}.in"
                   "${aerivo_package_dir}/control/${script}" @ONLY
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                    WORLD_READ WORLD_EXECUTE)
endforeach()
file(WRITE "${aerivo_package_dir}/control/conffiles"
     "${AERIVO_TRUST_ANCHOR_DIR}/AerivoDevelopmentAnchor.pem\n")

# The package itself needs Debian's tools; elsewhere the install rules above are all there is.
find_program(AERIVO_DPKG dpkg)
if(NOT AERIVO_DPKG)
    message(STATUS "No dpkg: the Debian package and its checks are left out")
    return()
endif()

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "${AERIVO_LAUNCHER_NAME}")
set(CPACK_PACKAGE_VENDOR "Aerivo")
set(CPACK_PACKAGE_CONTACT "Aerivo <packages@aerivo.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "fan-control utility for Apple Silicon Macs running Linux")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A tray app that reads temperatures and fan speeds and holds a
temperature-to-speed curve. A privileged helper, installed on demand through
polkit and started by systemd, is the only program that writes the fan, under
short leases that hand the fan back to the system by themselves.")
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
execute_process(COMMAND "${AERIVO_DPKG}" --print-architecture OUTPUT_VARIABLE aerivo_deb_architecture
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE "${aerivo_deb_architecture}")
set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pkexec | policykit-1, systemd")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${aerivo_package_dir}/control/prerm"
    "${aerivo_package_dir}/control/postrm" "${aerivo_package_dir}/control/conffiles")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Absolute destinations (/etc, /usr/libexec) go into the package's tree, never the build host's.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX "/usr")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/deb")
include(CPack)
# What `cpack` makes (tests/package builds and checks it).
set(AERIVO_PACKAGE_FILE "${CPACK_PACKAGE_DIRECTORY}/${CPACK_PACKAGE_NAME}_${PROJECT_VERSION}_")
string(APPEND AERIVO_PACKAGE_FILE "${aerivo_deb_architecture}.deb")
