# The Debian package of the console program, trakoni-cli_<version>_amd64.deb,
# with its man page (made from --help and --version by help2man) and the
# README:  cmake --build build/linux --target package
find_program(HELP2MAN_EXECUTABLE help2man REQUIRED)
set(man_page ${CMAKE_BINARY_DIR}/trakoni-cli.1.gz)
add_custom_command(OUTPUT ${man_page}
  COMMAND ${HELP2MAN_EXECUTABLE} --no-info --section 1
          --name "copy floppy disks to cylinder image files and back"
          --output ${CMAKE_BINARY_DIR}/trakoni-cli.1 $<TARGET_FILE:trakoni-cli>
  COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/trakoni-cli.1
  DEPENDS trakoni-cli
  COMMENT "Making the man page of trakoni-cli")
add_custom_target(man_page ALL DEPENDS ${man_page})

install(TARGETS trakoni-cli RUNTIME DESTINATION bin)
install(FILES ${man_page} DESTINATION share/man/man1)
install(FILES README.md DESTINATION share/doc/trakoni-cli)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME trakoni-cli)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Vantor)
set(CPACK_PACKAGE_CONTACT "Vantor <trakoni@vantor.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "copy floppy disks to cylinder image files and back")
set(CPACK_PACKAGE_DESCRIPTION
  "trakoni-cli reads a floppy disk into 80 cylinder image files (cyl00.bin to\ncyl79.bin) and writes such a set back, verifies copies, converts sets to disk\nimages, rescues damaged disks and packs disks into BagIt bags.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
