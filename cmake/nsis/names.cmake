# Read by cpack once per generator.
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_PACKAGE_FILE_NAME "dwellor-${CPACK_PACKAGE_VERSION}-setup")
else()
  set(CPACK_PACKAGE_FILE_NAME "dwellor-${CPACK_PACKAGE_VERSION}-windows")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
endif()
