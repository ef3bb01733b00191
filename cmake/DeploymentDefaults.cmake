# Deployment facts that are not part of the appended block. Each is a cache
# variable so an operator can build a launcher for another network; the
# block tool's inspect command prints the values a build was made with.

set(LG_SERVERLIST_HOST "serverlist.example.com" CACHE STRING
    "Host name of the server-list service (UDP port 30000)")
set(LG_SERVERLIST_FALLBACK_IP "127.0.0.1" CACHE STRING
    "IPv4 address of the server-list service used when the host name does not resolve")
set(LG_PUBLIC_RESOLVERS "8.8.8.8;8.8.4.4;1.1.1.1;1.0.0.1;9.9.9.9;149.112.112.112;208.67.222.222;208.67.220.220"
    CACHE STRING "The eight public DNS resolvers asked when the system resolver fails")
set(LG_UPDATE_PUBLIC_KEY "" CACHE STRING
    "Update signing key (128 hex digits from launcher-publish keygen's .pub file); empty: manifests unsigned")
if(NOT LG_UPDATE_PUBLIC_KEY STREQUAL "" AND NOT LG_UPDATE_PUBLIC_KEY MATCHES "^[0-9a-fA-F]+$")
  message(FATAL_ERROR "LG_UPDATE_PUBLIC_KEY must be the 128 hex digits of a .pub file written by launcher-publish keygen")
endif()
string(LENGTH "${LG_UPDATE_PUBLIC_KEY}" _lg_key_length)
if(NOT _lg_key_length EQUAL 0 AND NOT _lg_key_length EQUAL 128)
  message(FATAL_ERROR "LG_UPDATE_PUBLIC_KEY must be 128 hex digits, not ${_lg_key_length}")
endif()
set(LG_TRANSFER_MODE "default" CACHE STRING
    "How the launcher fetches files: default (the written behaviour) or pipelined (kept-alive connections, no probe)")
set_property(CACHE LG_TRANSFER_MODE PROPERTY STRINGS default pipelined)
if(NOT LG_TRANSFER_MODE STREQUAL "default" AND NOT LG_TRANSFER_MODE STREQUAL "pipelined")
  message(FATAL_ERROR "LG_TRANSFER_MODE must be default or pipelined, not ${LG_TRANSFER_MODE}")
endif()
set(LG_CRC_SALT_HEAD "lg" CACHE STRING "First salt piece of the news page check value")
set(LG_CRC_SALT_TAIL "launcher" CACHE STRING "Second salt piece of the news page check value")

string(REPLACE ";" "\", \"" _lg_resolvers "${LG_PUBLIC_RESOLVERS}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/DeploymentDefaults.h.in
               ${CMAKE_BINARY_DIR}/generated/DeploymentDefaults.h @ONLY)
include_directories(${CMAKE_BINARY_DIR}/generated)
