# The values an exam provider sets for its own build. They are compiled in: the agent has
# no command line, no environment variables and no configuration file.
set(QOLVI_SERVICE_BASE_URL "" CACHE STRING
    "Base URL of the exam service: https, ending with /tr/")
set(QOLVI_EXAM_SITE_URL "" CACHE STRING
    "URL of the exam site that BEGIN THE EXAM opens: https, no path, no trailing slash")
set(QOLVI_EXTRA_CA_FILE "" CACHE FILEPATH
    "Optional PEM file of certificates trusted in addition to the system's roots")
set(QOLVI_SERVICE_PINS "" CACHE STRING
    "Optional list of sha256/<base64> pins of public keys, one of which the service's verified chain must hold; at least two")
option(QOLVI_TRUST_ONLY_EXTRA_CA "Trust only QOLVI_EXTRA_CA_FILE, not the system's roots" OFF)
option(QOLVI_VOUCH_FOR_EXECUTABLE
    "Refuse to report from an executable its user can write; off only for a developer's build tree" ON)
set(QOLVI_LOCAL_SERVICE_PORT 47443 CACHE STRING "Port of the bundled local exam service")

set(QOLVI_LOCAL_CA_DIR "${CMAKE_BINARY_DIR}/local-ca")
if(QOLVI_LOCAL_SERVICE)
    qolvi_make_local_ca("${QOLVI_LOCAL_CA_DIR}")
    if(QOLVI_SERVICE_BASE_URL STREQUAL "")
        set(QOLVI_SERVICE_BASE_URL "https://127.0.0.1:${QOLVI_LOCAL_SERVICE_PORT}/tr/")
    endif()
    if(QOLVI_EXAM_SITE_URL STREQUAL "")
        set(QOLVI_EXAM_SITE_URL "https://127.0.0.1:${QOLVI_LOCAL_SERVICE_PORT}")
    endif()
    if(QOLVI_EXTRA_CA_FILE STREQUAL "")
        set(QOLVI_EXTRA_CA_FILE "${QOLVI_LOCAL_CA_DIR}/ca.pem")
    endif()
    # The local service's build runs pinned, as a provider's should: its CA's key and a backup.
    if(QOLVI_SERVICE_PINS STREQUAL "")
        qolvi_make_backup_key("${QOLVI_LOCAL_CA_DIR}")
        qolvi_public_key_pin(ca_pin CERTIFICATE "${QOLVI_LOCAL_CA_DIR}/ca.pem")
        qolvi_public_key_pin(backup_pin KEY "${QOLVI_LOCAL_CA_DIR}/backup.key")
        set(QOLVI_SERVICE_PINS "${ca_pin};${backup_pin}")
    endif()
endif()

if(QOLVI_SERVICE_BASE_URL STREQUAL "" OR QOLVI_EXAM_SITE_URL STREQUAL "")
    message(FATAL_ERROR
        "This build needs the exam provider's addresses. Configure it with\n"
        "  -DQOLVI_SERVICE_BASE_URL=https://<service host>/tr/\n"
        "  -DQOLVI_EXAM_SITE_URL=https://<exam site host>\n"
        "and, if the service's certificate needs it, -DQOLVI_EXTRA_CA_FILE=<file.pem>.\n"
        "The dev preset points both at the bundled local exam service.")
endif()

set(host_pattern "[A-Za-z0-9.-]+(:[0-9]+)?|\\[[0-9A-Fa-f:.]+\\](:[0-9]+)?")
if(NOT QOLVI_SERVICE_BASE_URL MATCHES "^https://(${host_pattern})(/[^?#]*)?/tr/$")
    message(FATAL_ERROR
        "QOLVI_SERVICE_BASE_URL must be an https URL whose path ends with /tr/, "
        "for example https://service.example.com/tr/ (got \"${QOLVI_SERVICE_BASE_URL}\").")
endif()
if(NOT QOLVI_EXAM_SITE_URL MATCHES "^https://(${host_pattern})$")
    message(FATAL_ERROR
        "QOLVI_EXAM_SITE_URL must be an https URL with no path and no trailing slash, "
        "for example https://exam.example.com (got \"${QOLVI_EXAM_SITE_URL}\").")
endif()
if(NOT QOLVI_EXTRA_CA_FILE STREQUAL "" AND NOT EXISTS "${QOLVI_EXTRA_CA_FILE}")
    message(FATAL_ERROR "QOLVI_EXTRA_CA_FILE names a file that does not exist: ${QOLVI_EXTRA_CA_FILE}")
endif()

include(ServicePins)
qolvi_check_service_pins("${QOLVI_SERVICE_PINS}")
if(QOLVI_TRUST_ONLY_EXTRA_CA AND QOLVI_EXTRA_CA_FILE STREQUAL "")
    message(FATAL_ERROR
        "QOLVI_TRUST_ONLY_EXTRA_CA trusts nothing but QOLVI_EXTRA_CA_FILE, which is empty: "
        "give it the PEM file of the certificate authorities of your service.")
endif()
# Written into the generated header as C++.
if(QOLVI_TRUST_ONLY_EXTRA_CA)
    set(QOLVI_TRUST_SYSTEM_CA_CXX false)
else()
    set(QOLVI_TRUST_SYSTEM_CA_CXX true)
endif()

if(QOLVI_VOUCH_FOR_EXECUTABLE)
    set(QOLVI_VOUCH_FOR_EXECUTABLE_CXX true)
else()
    set(QOLVI_VOUCH_FOR_EXECUTABLE_CXX false)
endif()

message(STATUS "Exam service: ${QOLVI_SERVICE_BASE_URL}")
message(STATUS "Exam site: ${QOLVI_EXAM_SITE_URL}")
message(STATUS "Extra trusted CA: ${QOLVI_EXTRA_CA_FILE}")
message(STATUS "System's roots trusted: ${QOLVI_TRUST_SYSTEM_CA_CXX}")
message(STATUS "Pinned keys: ${QOLVI_SERVICE_PINS}")
message(STATUS "Executable vouched for: ${QOLVI_VOUCH_FOR_EXECUTABLE_CXX}")
