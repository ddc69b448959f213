# The build tree's development signing identity and the signed application bundle.
#
# Identity: one anchor and one team per build tree, under ${AERIVO_SIGNING_DIR}. The private
# keys are made on the first build and then kept for the life of the build tree (they are no
# build outputs, so not even a clean removes them); the anchor's public key goes to the build's
# trust store, ${AERIVO_DEV_TRUST_ANCHOR}, and the team's certificate is renewed only when it
# no longer fits the keys or nears its end.
#
# Bundle, after linking (part of the default build):
#   Aerivo Mac.app/Contents/Info.json                                 (app/Info.json.in)
#   Aerivo Mac.app/Contents/MacOS/AerivoMac               + .codesig  (carries Info.json)
#   Aerivo Mac.app/Contents/Library/LaunchServices/<helper label> + .codesig
#                           (carries the helper's information and launchd property lists)
#   Aerivo Mac.app/Contents/MacOS/aerivo-install-helper   (the root side of installing the helper
#                           on a Linux host, run through pkexec)
#   Aerivo Mac.app/Contents/Resources/TrustAnchors/AerivoDevelopmentAnchor.pem
#                           (the anchor of the team that signed the bundle, installed with the
#                           helper on a real host so the host trusts that team)

set(AERIVO_APP_BUNDLE "${CMAKE_BINARY_DIR}/Aerivo Mac.app")
set(aerivo_anchor_key "${AERIVO_SIGNING_DIR}/AerivoDevelopmentAnchor.key.pem")
set(aerivo_team_dir "${AERIVO_SIGNING_DIR}/teams/${AERIVO_TEAM_IDENTIFIER}")
set(aerivo_team_key "${aerivo_team_dir}/team.key.pem")
set(aerivo_team_certificate "${aerivo_team_dir}/team.certificate.json")

# Runs on every build and changes no file unless one is missing or stale (--reuse); the
# byproducts are restat, so an unchanged certificate re-signs nothing.
add_custom_target(aerivo_dev_signing_identity ALL
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${AERIVO_SIGNING_DIR}/TrustAnchors"
            "${aerivo_team_dir}"
    COMMAND aerivo-codesign keygen anchor --reuse --key "${aerivo_anchor_key}"
            --public "${AERIVO_DEV_TRUST_ANCHOR}"
    COMMAND aerivo-codesign keygen team --reuse --team "${AERIVO_TEAM_IDENTIFIER}"
            --anchor-key "${aerivo_anchor_key}" --key "${aerivo_team_key}"
            --certificate "${aerivo_team_certificate}"
    BYPRODUCTS "${AERIVO_DEV_TRUST_ANCHOR}" "${aerivo_team_certificate}"
    COMMENT "Development signing identity (anchor and team ${AERIVO_TEAM_IDENTIFIER})"
    VERBATIM)

set(aerivo_contents "${AERIVO_APP_BUNDLE}/Contents")
set(aerivo_bundle_info "${aerivo_contents}/Info.json")
set(aerivo_bundle_app "${aerivo_contents}/MacOS/AerivoMac")
set(aerivo_bundle_helper "${aerivo_contents}/Library/LaunchServices/${AERIVO_HELPER_LABEL}")
set(aerivo_team_signing --team-key "${aerivo_team_key}" --certificate "${aerivo_team_certificate}")

add_custom_command(OUTPUT "${aerivo_bundle_info}"
    COMMAND "${CMAKE_COMMAND}" -E copy "${AERIVO_APP_INFO_JSON}" "${aerivo_bundle_info}"
    DEPENDS "${AERIVO_APP_INFO_JSON}"
    VERBATIM)
set(aerivo_bundle_outputs "${aerivo_bundle_info}")

# aerivo_bundle_signed_copy(TARGET <target> DESTINATION <file> IDENTIFIER <id> [SIGN_ARGS...]):
# copies a program into the bundle (under a temporary name, then renamed, so a running copy is
# never overwritten in place) and signs it with the development team. The file (relative to the
# bundle) and its signing command are kept in the global properties AERIVO_BUNDLE_SIGNED_FILES
# and AERIVO_SIGN_<file>, so the install rules can sign a stripped copy the same way.
function(aerivo_bundle_signed_copy)
    cmake_parse_arguments(ARG "" "TARGET;DESTINATION;IDENTIFIER" "SIGN_ARGS;DEPENDS" ${ARGN})
    get_filename_component(folder "${ARG_DESTINATION}" DIRECTORY)
    get_filename_component(name "${ARG_DESTINATION}" NAME)
    file(RELATIVE_PATH relative "${AERIVO_APP_BUNDLE}" "${ARG_DESTINATION}")
    set_property(GLOBAL APPEND PROPERTY AERIVO_BUNDLE_SIGNED_FILES "${relative}")
    set_property(GLOBAL PROPERTY "AERIVO_SIGN_${relative}" --identifier "${ARG_IDENTIFIER}"
                 ${aerivo_team_signing} ${ARG_SIGN_ARGS})
    add_custom_command(OUTPUT "${ARG_DESTINATION}" "${ARG_DESTINATION}.codesig"
        COMMAND "${CMAKE_COMMAND}" -E make_directory "${folder}"
        COMMAND "${CMAKE_COMMAND}" -E copy "$<TARGET_FILE:${ARG_TARGET}>" "${ARG_DESTINATION}.new"
        COMMAND "${CMAKE_COMMAND}" -E rename "${ARG_DESTINATION}.new" "${ARG_DESTINATION}"
        COMMAND aerivo-codesign sign "${ARG_DESTINATION}" --identifier "${ARG_IDENTIFIER}"
                ${aerivo_team_signing} ${ARG_SIGN_ARGS}
        DEPENDS ${ARG_TARGET} aerivo-codesign "${aerivo_team_certificate}" ${ARG_DEPENDS}
        COMMENT "Signing ${name} into Aerivo Mac.app"
        VERBATIM)
endfunction()

aerivo_bundle_signed_copy(TARGET AerivoMac DESTINATION "${aerivo_bundle_app}"
    IDENTIFIER "${AERIVO_BUNDLE_IDENTIFIER}"
    SIGN_ARGS --info "${aerivo_bundle_info}"
    DEPENDS "${aerivo_bundle_info}")
list(APPEND aerivo_bundle_outputs "${aerivo_bundle_app}" "${aerivo_bundle_app}.codesig")

# The helper program comes with the helper service; until then the bundle holds the app alone.
if(TARGET AerivoMacHelper)
    aerivo_bundle_signed_copy(TARGET AerivoMacHelper DESTINATION "${aerivo_bundle_helper}"
        IDENTIFIER "${AERIVO_HELPER_LABEL}"
        SIGN_ARGS --info "${AERIVO_HELPER_INFO_JSON}" --launchd "${AERIVO_HELPER_LAUNCHD_JSON}"
        DEPENDS "${AERIVO_HELPER_INFO_JSON}" "${AERIVO_HELPER_LAUNCHD_JSON}")
    list(APPEND aerivo_bundle_outputs "${aerivo_bundle_helper}" "${aerivo_bundle_helper}.codesig")
endif()

if(TARGET aerivo-install-helper)
    set(aerivo_bundle_installer "${aerivo_contents}/MacOS/aerivo-install-helper")
    add_custom_command(OUTPUT "${aerivo_bundle_installer}"
        COMMAND "${CMAKE_COMMAND}" -E make_directory "${aerivo_contents}/MacOS"
        COMMAND "${CMAKE_COMMAND}" -E copy "$<TARGET_FILE:aerivo-install-helper>"
                "${aerivo_bundle_installer}.new"
        COMMAND "${CMAKE_COMMAND}" -E rename "${aerivo_bundle_installer}.new"
                "${aerivo_bundle_installer}"
        DEPENDS aerivo-install-helper
        VERBATIM)
    list(APPEND aerivo_bundle_outputs "${aerivo_bundle_installer}")
endif()
set(aerivo_bundle_anchor "${aerivo_contents}/Resources/TrustAnchors/AerivoDevelopmentAnchor.pem")
add_custom_command(OUTPUT "${aerivo_bundle_anchor}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${aerivo_contents}/Resources/TrustAnchors"
    COMMAND "${CMAKE_COMMAND}" -E copy "${AERIVO_DEV_TRUST_ANCHOR}" "${aerivo_bundle_anchor}"
    DEPENDS "${AERIVO_DEV_TRUST_ANCHOR}"
    VERBATIM)
list(APPEND aerivo_bundle_outputs "${aerivo_bundle_anchor}")

add_custom_target(aerivo_app_bundle ALL DEPENDS ${aerivo_bundle_outputs})
add_dependencies(aerivo_app_bundle aerivo_dev_signing_identity)
