# Compiler settings shared by every target of the project.

if(LG_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(LG_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT LG_SANITIZE STREQUAL "")
  message(FATAL_ERROR "LG_SANITIZE must be address, thread or empty")
endif()

if(LG_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "LG_FUZZ needs Clang")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(WIN32)
  # One self-contained executable: no MinGW runtime DLLs beside it.
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 UNICODE _UNICODE)
endif()

# Warnings for the project's own code (third-party code is built without this).
function(lg_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-missing-field-initializers)
  # -Wshadow=local is GCC's spelling; Clang rejects it under -Werror.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wshadow=local)
  endif()
  # GCC 12 at -O3 reports overlapping copies inside std::string's operator+
  # that cannot happen; every new concatenation brought the noise back.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  if(LG_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# A static library of the core: lg_library(name SOURCES ... LIBS ...)
function(lg_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_SOURCES)
    # A folder whose code has not landed yet still links its layers.
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${ARG_LIBS})
    return()
  endif()
  add_library(${name} STATIC ${ARG_SOURCES})
  lg_target_defaults(${name})
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
endfunction()

# A command-line program: lg_executable(name SOURCES ... LIBS ...)
function(lg_executable name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  lg_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
endfunction()
