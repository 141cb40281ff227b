# Installation layout and the Debian package (cpack -G DEB).
#
#   cmake --install build/default --prefix /usr/local
#   (cd build/default && cpack -G DEB)
set(QUARVEL_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})

# The two editions, when this build has them.
set(QUARVEL_PROGRAMS "")
foreach(program QuarvelSDR QuarvelSDR-sim)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    list(APPEND QUARVEL_PROGRAMS ${program})
  endif()
endforeach()

install(FILES ${QUARVEL_PACKAGING_DIR}/quarvel-sdr.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${QUARVEL_PACKAGING_DIR}/quarvel-sdr.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# udev reads rules from <prefix>/lib/udev/rules.d (/usr/lib/udev/rules.d for the package).
install(FILES ${QUARVEL_PACKAGING_DIR}/60-quarvel-sdr.rules DESTINATION lib/udev/rules.d)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quarvel-sdr)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quarvel SDR Tuning")
set(CPACK_PACKAGE_CONTACT "Quarvel SDR Tuning developers <quarvel-sdr@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Control panel for the front end of a USB software-defined-radio board")
set(CPACK_PACKAGE_DESCRIPTION
    "Tunes the board's clock generator across six bands, trims its crystal, selects the input\n\
and attenuator, sets the tracking level and uploads configuration images, through the\n\
board's FTDI USB bridge in bit-bang mode. QuarvelSDR-sim runs the same panel on a simulated\n\
board with a live bus monitor.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Runtime libraries (Qt 6, libftdi1, libusb, the C++ runtime) as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udev")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${QUARVEL_PACKAGING_DIR}/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)

# Builds the package from this build tree and checks its contents. Sanitizer builds are left
# out: their programs need the sanitizer runtimes and are not meant to be shipped.
if(QUARVEL_BUILD_TESTS AND NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
  add_test(NAME packaging.deb
           COMMAND bash ${QUARVEL_PACKAGING_DIR}/check_deb.sh ${CMAKE_BINARY_DIR}
                   ${CMAKE_BINARY_DIR}/packaging-test ${QUARVEL_PROGRAMS})
  set_tests_properties(packaging.deb PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE)
endif()
