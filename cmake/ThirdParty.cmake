# RapidJSON comes from Debian's rapidjson-dev. Its folder is exposed alone (through a link in
# the build tree) so that a cross compiler never sees the rest of the host's /usr/include.
find_path(VELMORA_RAPIDJSON_DIR rapidjson/document.h
          PATHS /usr/include /usr/local/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)
if(NOT VELMORA_RAPIDJSON_DIR)
  message(FATAL_ERROR "RapidJSON headers not found: install rapidjson-dev (scripts/setup.sh does)")
endif()
set(_rj_root ${CMAKE_BINARY_DIR}/third_party/include)
file(MAKE_DIRECTORY ${_rj_root})
file(CREATE_LINK ${VELMORA_RAPIDJSON_DIR}/rapidjson ${_rj_root}/rapidjson SYMBOLIC)
add_library(velmora_rapidjson INTERFACE)
target_include_directories(velmora_rapidjson SYSTEM INTERFACE ${_rj_root})

# GoogleTest is built from Debian's sources so that the same version serves every target.
set(VELMORA_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
