# Stops the configure unless `pins` is empty or a list of at least two distinct pins, each the
# base64 SHA-256 digest of a SubjectPublicKeyInfo written as `sha256/<44 characters ending in =>`.
function(qolvi_check_service_pins pins)
    if(pins STREQUAL "")
        return()
    endif()
    foreach(pin IN LISTS pins)
        if(NOT pin MATCHES "^sha256/[A-Za-z0-9+/]+=$")
            message(FATAL_ERROR
                "QOLVI_SERVICE_PINS holds \"${pin}\", which is not a pin. Each pin is "
                "sha256/<base64 of the SHA-256 digest of a public key>, 44 characters ending in =; "
                "the README's release section shows how openssl computes one.")
        endif()
        string(LENGTH "${pin}" length)
        if(NOT length EQUAL 51)
            message(FATAL_ERROR
                "QOLVI_SERVICE_PINS holds \"${pin}\", whose digest is not 32 bytes: a SHA-256 "
                "digest in base64 is 44 characters long.")
        endif()
    endforeach()
    set(distinct ${pins})
    list(REMOVE_DUPLICATES distinct)
    list(LENGTH distinct count)
    if(count LESS 2)
        message(FATAL_ERROR
            "QOLVI_SERVICE_PINS needs at least two distinct pins: the key in use and a backup key "
            "kept offline, so that a replaced key does not strand the agents already installed "
            "(got \"${pins}\").")
    endif()
endfunction()

# Run as a script: checks the pins given with -DQOLVI_SERVICE_PINS=..., as a configure does.
if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    qolvi_check_service_pins("${QOLVI_SERVICE_PINS}")
    message(STATUS "Pins accepted: ${QOLVI_SERVICE_PINS}")
endif()
