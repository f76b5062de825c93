# Third-party code: TinyXML 2.6 (Debian's source package, fetched into the build folder by
# scripts/deps.sh), nlohmann JSON 3.11 (header-only from Debian) and zlib (static, mingw).

set(KWILL_TINYXML_DIR ${CMAKE_BINARY_DIR}/_deps/tinyxml)
if(NOT EXISTS ${KWILL_TINYXML_DIR}/tinyxml.h)
  message(FATAL_ERROR "TinyXML source missing in ${KWILL_TINYXML_DIR}: run 'make' (scripts/deps.sh fetches it)")
endif()
add_library(kwill_tinyxml STATIC
  ${KWILL_TINYXML_DIR}/tinystr.cpp ${KWILL_TINYXML_DIR}/tinyxml.cpp
  ${KWILL_TINYXML_DIR}/tinyxmlerror.cpp ${KWILL_TINYXML_DIR}/tinyxmlparser.cpp)
target_compile_definitions(kwill_tinyxml PUBLIC TIXML_USE_STL)
target_include_directories(kwill_tinyxml SYSTEM PUBLIC ${KWILL_TINYXML_DIR})
target_compile_options(kwill_tinyxml PRIVATE -w)

# Debian's nlohmann headers live in /usr/include, which must not be on a mingw include path (it
# would pull in Linux headers): point at a folder that holds only a link to them.
set(KWILL_JSON_INCLUDE ${CMAKE_BINARY_DIR}/_deps/json-include)
if(NOT EXISTS /usr/include/nlohmann/json.hpp)
  message(FATAL_ERROR "nlohmann JSON missing: run 'make' (installs nlohmann-json3-dev)")
endif()
file(MAKE_DIRECTORY ${KWILL_JSON_INCLUDE})
file(CREATE_LINK /usr/include/nlohmann ${KWILL_JSON_INCLUDE}/nlohmann SYMBOLIC)
set(json_version_header /usr/include/nlohmann/detail/abi_macros.hpp)
if(NOT EXISTS ${json_version_header})
  set(json_version_header /usr/include/nlohmann/json.hpp)
endif()
file(STRINGS ${json_version_header} json_major REGEX "#define NLOHMANN_JSON_VERSION_MAJOR ")
file(STRINGS ${json_version_header} json_minor REGEX "#define NLOHMANN_JSON_VERSION_MINOR ")
if(NOT json_major MATCHES "MAJOR 3( |$)" OR NOT json_minor MATCHES "MINOR 11( |$)")
  message(FATAL_ERROR "nlohmann JSON 3.11.x required, found: ${json_major} ${json_minor}")
endif()
add_library(kwill_json INTERFACE)
target_include_directories(kwill_json SYSTEM INTERFACE ${KWILL_JSON_INCLUDE})

find_library(KWILL_ZLIB_LIBRARY NAMES libz.a z REQUIRED)
find_path(KWILL_ZLIB_INCLUDE zlib.h REQUIRED)
add_library(kwill_zlib INTERFACE)
target_link_libraries(kwill_zlib INTERFACE ${KWILL_ZLIB_LIBRARY})
target_include_directories(kwill_zlib SYSTEM INTERFACE ${KWILL_ZLIB_INCLUDE})

# libdeflate (Debian's source package, fetched into the build folder by scripts/deps.sh): whole-
# buffer deflate and inflate where the sizes are known; zlib keeps the streaming work.
set(KWILL_LIBDEFLATE_DIR ${CMAKE_BINARY_DIR}/_deps/libdeflate)
if(NOT EXISTS ${KWILL_LIBDEFLATE_DIR}/libdeflate.h)
  message(FATAL_ERROR "libdeflate source missing in ${KWILL_LIBDEFLATE_DIR}: run 'make' (scripts/deps.sh fetches it)")
endif()
file(GLOB KWILL_LIBDEFLATE_SOURCES ${KWILL_LIBDEFLATE_DIR}/lib/*.c ${KWILL_LIBDEFLATE_DIR}/lib/x86/*.c)
add_library(kwill_libdeflate STATIC ${KWILL_LIBDEFLATE_SOURCES})
target_include_directories(kwill_libdeflate SYSTEM PUBLIC ${KWILL_LIBDEFLATE_DIR})
target_compile_options(kwill_libdeflate PRIVATE -w -O2)
