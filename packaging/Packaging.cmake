# SPDX-License-Identifier: GPL-3.0-or-later
# Installation layout and the Debian package (cpack -G DEB).
#
#   cmake --install build/default --prefix /usr/local
#   (cd build/default && cpack -G DEB)
set(QUARVEL_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})

# The two editions; both are built whenever this file is included.
set(QUARVEL_PROGRAMS QuarvelSDR QuarvelSDR-sim)
install(TARGETS ${QUARVEL_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${QUARVEL_PACKAGING_DIR}/org.quarvel.QuarvelSDR.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${QUARVEL_PACKAGING_DIR}/org.quarvel.QuarvelSDR.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${QUARVEL_PACKAGING_DIR}/quarvel-sdr.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# udev reads rules from <prefix>/lib/udev/rules.d (/usr/lib/udev/rules.d for the package).
install(FILES ${QUARVEL_PACKAGING_DIR}/60-quarvel-sdr.rules DESTINATION lib/udev/rules.d)

# Generated at build time: the icon as PNG in the sizes software centres take (64 and 128
# pixels, with 48 for menus and 256 for HiDPI), the manual pages and the Debian changelog
# compressed as Debian wants them (gzip -9, no name or time stamp inside).
find_program(QUARVEL_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(QUARVEL_GZIP gzip REQUIRED)
set(QUARVEL_GENERATED_DIR ${CMAKE_BINARY_DIR}/packaging-files)
set(QUARVEL_GENERATED_FILES "")
foreach(size 48 64 128 256)
  set(png ${QUARVEL_GENERATED_DIR}/icons/${size}x${size}/quarvel-sdr.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QUARVEL_GENERATED_DIR}/icons/${size}x${size}
    COMMAND ${QUARVEL_RSVG_CONVERT} -w ${size} -h ${size} -o ${png}
            ${QUARVEL_PACKAGING_DIR}/quarvel-sdr.svg
    DEPENDS ${QUARVEL_PACKAGING_DIR}/quarvel-sdr.svg
    COMMENT "Icon ${size}x${size}" VERBATIM)
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  list(APPEND QUARVEL_GENERATED_FILES ${png})
endforeach()
foreach(page QuarvelSDR.1 QuarvelSDR-sim.1 changelog)
  set(gz ${QUARVEL_GENERATED_DIR}/${page}.gz)
  set(source ${QUARVEL_PACKAGING_DIR}/man/${page})
  if(page STREQUAL changelog)
    set(source ${QUARVEL_PACKAGING_DIR}/changelog)
  endif()
  add_custom_command(OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QUARVEL_GENERATED_DIR}
    COMMAND ${QUARVEL_GZIP} -9 -n -c ${source} > ${gz}
    DEPENDS ${source}
    COMMENT "Compressing ${page}")
  list(APPEND QUARVEL_GENERATED_FILES ${gz})
endforeach()
add_custom_target(quarvel_packaging_files ALL DEPENDS ${QUARVEL_GENERATED_FILES})
install(FILES ${QUARVEL_GENERATED_DIR}/QuarvelSDR.1.gz ${QUARVEL_GENERATED_DIR}/QuarvelSDR-sim.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${QUARVEL_PACKAGING_DIR}/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quarvel-sdr)
# Debian's checker asks a first packaging to close an "intent to package" bug; this package
# is not uploaded to Debian, so there is none.
install(FILES ${QUARVEL_PACKAGING_DIR}/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME quarvel-sdr)
install(FILES ${QUARVEL_GENERATED_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quarvel-sdr RENAME changelog.Debian.gz)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quarvel-sdr)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quarvel SDR Tuning")
set(CPACK_PACKAGE_CONTACT "Quarvel SDR Tuning developers <devel@quarvel.org>")
# The first packaging of this version; the changelog's newest entry carries the same number.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quarvel.org/sdr/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Control panel for the front end of a USB software-defined-radio board")
# Lines of at most 80 characters, as Debian asks of a package description.
set(CPACK_PACKAGE_DESCRIPTION
    "Tunes the board's clock generator across six bands, trims its crystal,\n\
selects the input and attenuator, sets the tracking level and uploads\n\
configuration images, through the board's FTDI USB bridge in bit-bang mode.\n\
QuarvelSDR-sim runs the same panel on a simulated board with a live bus\n\
monitor.")
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
set(CPACK_PRE_BUILD_SCRIPTS ${QUARVEL_PACKAGING_DIR}/directory-modes.cmake)
include(CPack)

# Builds the package from this build tree and checks its contents. Sanitizer builds are left
# out: their programs need the sanitizer runtimes and are not meant to be shipped.
if(QUARVEL_BUILD_TESTS AND NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
  add_test(NAME packaging.deb
           COMMAND bash ${QUARVEL_PACKAGING_DIR}/check_deb.sh ${CMAKE_BINARY_DIR}
                   ${CMAKE_BINARY_DIR}/packaging-test ${QUARVEL_PROGRAMS})
  set_tests_properties(packaging.deb PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE)
endif()
