# Read by CPack once per generator: the file name and the contents of each package.
if(CPACK_GENERATOR STREQUAL "ZIP")
  # The program alone: unpacked anywhere, it reads and writes its files beside itself.
  string(REPLACE ";ALL;" ";program;" CPACK_INSTALL_CMAKE_PROJECTS "${CPACK_INSTALL_CMAKE_PROJECTS}")
elseif(CPACK_GENERATOR STREQUAL "NSIS")
  if(CPACK_SYSTEM_NAME STREQUAL "win32")
    set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-setup")
  else()
    set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-${CPACK_SYSTEM_NAME}-setup")
  endif()
endif()
