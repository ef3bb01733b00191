# Deployment facts that are not part of the appended block. Each is a cache
# variable so an operator can build a launcher for another network; the
# block tool's inspect command prints the values a build was made with.

set(LG_SERVERLIST_HOST "serverlist.example.com" CACHE STRING
    "Host name of the server-list service (UDP port 30000)")
set(LG_SERVERLIST_FALLBACK_IP "127.0.0.1" CACHE STRING
    "IPv4 address of the server-list service used when the host name does not resolve")
set(LG_PUBLIC_RESOLVERS "8.8.8.8;8.8.4.4;1.1.1.1;1.0.0.1;9.9.9.9;149.112.112.112;208.67.222.222;208.67.220.220"
    CACHE STRING "The eight public DNS resolvers asked when the system resolver fails")
set(LG_CRC_SALT_HEAD "lg" CACHE STRING "First salt piece of the news page check value")
set(LG_CRC_SALT_TAIL "launcher" CACHE STRING "Second salt piece of the news page check value")

string(REPLACE ";" "\", \"" _lg_resolvers "${LG_PUBLIC_RESOLVERS}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/DeploymentDefaults.h.in
               ${CMAKE_BINARY_DIR}/generated/DeploymentDefaults.h @ONLY)
include_directories(${CMAKE_BINARY_DIR}/generated)
