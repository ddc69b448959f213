# The property lists both programs carry, each from one template:
#   - app/Info.json.in: the app's Info.json, copied into the bundle and carried in its signature;
#   - helper/HelperInfo.json.in and helper/HelperLaunchd.json.in: the helper's embedded
#     information and launchd property lists, compiled into the helper
#     (helper/core/HelperPropertyLists) and carried in the bundled helper's signature.
# The configured files live under ${AERIVO_GENERATED_DIR}; a template that does not configure to
# a JSON object stops the configuration.

set(AERIVO_GENERATED_DIR "${CMAKE_BINARY_DIR}/generated")
set(AERIVO_HELPER_LABEL "${AERIVO_BUNDLE_IDENTIFIER}.Helper")
set(AERIVO_APP_INFO_JSON "${AERIVO_GENERATED_DIR}/app/Info.json")
set(AERIVO_HELPER_INFO_JSON "${AERIVO_GENERATED_DIR}/helper/HelperInfo.json")
set(AERIVO_HELPER_LAUNCHD_JSON "${AERIVO_GENERATED_DIR}/helper/HelperLaunchd.json")

# aerivo_json_string(<out> <text>): <text> as a JSON string literal, quotes included.
function(aerivo_json_string out text)
    string(REPLACE "\\" "\\\\" text "${text}")
    string(REPLACE "\"" "\\\"" text "${text}")
    string(REPLACE "\n" "\\n" text "${text}")
    string(REPLACE "\r" "\\r" text "${text}")
    string(REPLACE "\t" "\\t" text "${text}")
    set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

# aerivo_configure_property_list(<template> <output>): @VAR@ substitution, then a check that the
# result is one JSON object.
function(aerivo_configure_property_list template output)
    configure_file("${template}" "${output}" @ONLY)
    file(READ "${output}" json)
    string(JSON type ERROR_VARIABLE problem TYPE "${json}")
    if(problem OR NOT type STREQUAL "OBJECT")
        message(FATAL_ERROR "${template} does not configure to a JSON object: ${problem}")
    endif()
endfunction()

# Requirement strings take the identifiers unescaped: the top level allows neither quotes nor
# backslashes in them.
aerivo_json_string(AERIVO_BUNDLE_VERSION_JSON "${AERIVO_BUNDLE_VERSION}")
if(AERIVO_UPDATE_CHECK_URL STREQUAL "")
    set(AERIVO_INFO_UPDATE_CHECK_ENTRY "")
else()
    aerivo_json_string(url_json "${AERIVO_UPDATE_CHECK_URL}")
    set(AERIVO_INFO_UPDATE_CHECK_ENTRY ",\n  \"AerivoUpdateCheckURL\": ${url_json}")
endif()
aerivo_configure_property_list("${PROJECT_SOURCE_DIR}/app/Info.json.in" "${AERIVO_APP_INFO_JSON}")
aerivo_configure_property_list("${PROJECT_SOURCE_DIR}/helper/HelperInfo.json.in"
                               "${AERIVO_HELPER_INFO_JSON}")
aerivo_configure_property_list("${PROJECT_SOURCE_DIR}/helper/HelperLaunchd.json.in"
                               "${AERIVO_HELPER_LAUNCHD_JSON}")

# The helper's two lists as C++ raw strings, the very text the bundle signing step reads.
file(READ "${AERIVO_HELPER_INFO_JSON}" AERIVO_HELPER_INFO_TEXT)
file(READ "${AERIVO_HELPER_LAUNCHD_JSON}" AERIVO_HELPER_LAUNCHD_TEXT)
foreach(text IN ITEMS "${AERIVO_HELPER_INFO_TEXT}" "${AERIVO_HELPER_LAUNCHD_TEXT}")
    string(FIND "${text}" ")aerivoplist\"" delimiter)
    if(NOT delimiter EQUAL -1)
        message(FATAL_ERROR "a helper property list contains the raw-string delimiter")
    endif()
endforeach()
configure_file("${PROJECT_SOURCE_DIR}/helper/HelperPropertyListText.h.in"
               "${AERIVO_GENERATED_DIR}/helper/HelperPropertyListText.h" @ONLY)
