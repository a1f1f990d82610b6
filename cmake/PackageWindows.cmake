# The Windows archive, Trakoni-<version>-win64.zip, with both programs and a
# short text on them:  cmake --build build/mingw --target package
configure_file(packaging/README.txt.in README.txt @ONLY NEWLINE_STYLE WIN32)
install(TARGETS Trakoni trakoni-cli RUNTIME DESTINATION .)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.txt DESTINATION .)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Trakoni)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME win64)
set(CPACK_STRIP_FILES ON)
include(CPack)
