# Read by cpack for each generator it runs: the Debian package's install
# sets ZORV_DEB, which selects the package's own files (deb.cmake).
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_CUSTOM_INSTALL_VARIABLES ZORV_DEB=1)
endif()
