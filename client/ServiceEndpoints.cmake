# The compressing service's addresses: build configuration, no secret.
# ZEL_SERVICE_URL is the service's base address (https:// for any service
# beyond this machine). The generated header holds the base and the endpoint
# paths with each byte exclusive-or a one-byte key: that keeps them out of a
# plain-text look at the executable, nothing more, and is no protection.
set(ZEL_SERVICE_URL "http://127.0.0.1:8960" CACHE STRING
    "Base address of the compressing service (scheme, host and port)")

set(ZEL_SCRAMBLE_KEY 0x5A)

# A C string literal of `text` with every byte exclusive-or `key`, as "\xNN" escapes.
function(zel_scrambled_literal text key out)
    string(LENGTH "${text}" length)
    set(literal "")
    if(length GREATER 0)
        math(EXPR last "${length} - 1")
        foreach(i RANGE ${last})
            string(SUBSTRING "${text}" ${i} 1 char)
            string(HEX "${char}" code)
            math(EXPR scrambled "0x${code} ^ ${key}" OUTPUT_FORMAT HEXADECIMAL)
            string(SUBSTRING "${scrambled}" 2 -1 digits)
            string(APPEND literal "\\x${digits}")
        endforeach()
    endif()
    set(${out} "\"${literal}\"" PARENT_SCOPE)
endfunction()

string(REGEX REPLACE "/+$" "" zel_service_base "${ZEL_SERVICE_URL}")
if(zel_service_base STREQUAL "")
    message(FATAL_ERROR "ZEL_SERVICE_URL must name the service's base address")
endif()
zel_scrambled_literal("${zel_service_base}" ${ZEL_SCRAMBLE_KEY} ZEL_SCRAMBLED_BASE)
zel_scrambled_literal("/zel/page" ${ZEL_SCRAMBLE_KEY} ZEL_SCRAMBLED_PAGE)
zel_scrambled_literal("/zel/poll" ${ZEL_SCRAMBLE_KEY} ZEL_SCRAMBLED_POLL)
zel_scrambled_literal("/zel/arch/" ${ZEL_SCRAMBLE_KEY} ZEL_SCRAMBLED_ARCHIVE)
zel_scrambled_literal("/zel/login" ${ZEL_SCRAMBLE_KEY} ZEL_SCRAMBLED_LOGIN)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/ScrambledEndpoints.h.in
               ${CMAKE_CURRENT_BINARY_DIR}/generated/ScrambledEndpoints.h @ONLY)
