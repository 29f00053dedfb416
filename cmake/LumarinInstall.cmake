# Installation and the Debian package. Included once every target exists.
#
#   cmake --install build/dev --prefix /usr            (DESTDIR=... for a staging root)
#   cpack -G DEB --config build/dev/CPackConfig.cmake  (lumarin_<version>_<arch>.deb)
#
# The command-line tools are always installed. The main window is installed when its target
# exists: the executable `lumarin`, its desktop entry app/lumarin.desktop and its icons under
# res/icons/hicolor/<size>/apps/, each taken only when the file is there.
include(GNUInstallDirs)

install(TARGETS lumarinctl pjlink-cli lumarin-exporter RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The exporter's units: a system service and one for a user's own register.
install(FILES ${PROJECT_SOURCE_DIR}/tools/exporter/lumarin-exporter.service
        DESTINATION lib/systemd/system)
install(FILES ${PROJECT_SOURCE_DIR}/tools/exporter/lumarin-exporter-user.service
        DESTINATION lib/systemd/user RENAME lumarin-exporter.service)

install(FILES ${PROJECT_SOURCE_DIR}/tools/lumarinctl/lumarinctl.1
              ${PROJECT_SOURCE_DIR}/tools/cli/pjlink-cli.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
file(GLOB lumarin_ja_man_pages ${PROJECT_SOURCE_DIR}/tools/*/*.ja.1)
foreach(page IN LISTS lumarin_ja_man_pages)
    get_filename_component(name ${page} NAME)
    string(REPLACE ".ja.1" ".1" name ${name})
    install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man1 RENAME ${name})
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/tools/completion/lumarinctl.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME lumarinctl)
install(FILES ${PROJECT_SOURCE_DIR}/tools/completion/pjlink-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME pjlink-cli)

# The main window, once app/ builds it.
if(TARGET lumarin)
    install(TARGETS lumarin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    # Found by the program as ../share/lumarin/help from its own directory.
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/app/help/
            DESTINATION ${CMAKE_INSTALL_DATADIR}/lumarin/help)
endif()
if(EXISTS ${PROJECT_SOURCE_DIR}/app/lumarin.desktop)
    install(FILES ${PROJECT_SOURCE_DIR}/app/lumarin.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
endif()
if(IS_DIRECTORY ${PROJECT_SOURCE_DIR}/res/icons/hicolor)
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/res/icons/hicolor
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
endif()

# Prometheus's alerting rules, with their unit tests: a site that edits the rules (its
# replacement hours) checks them with promtool test rules in that folder.
install(FILES ${PROJECT_SOURCE_DIR}/tools/prometheus/lumarin-alerts.yml
              ${PROJECT_SOURCE_DIR}/tools/prometheus/lumarin-alerts.test.yml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lumarin/prometheus)

# The Debian package. Its library dependencies are read from the installed programs by
# dpkg-shlibdeps, so the main window's Qt Widgets is required only once it is packaged.
set(CPACK_PACKAGE_NAME lumarin)
set(CPACK_PACKAGE_VENDOR "Lumarin developers")
set(CPACK_PACKAGE_CONTACT "Lumarin developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Register, watch and command PJLink network projectors")
set(CPACK_PACKAGE_DESCRIPTION "Lumarin keeps a register of up to 100 PJLink Class 1 projectors \
in groups, reads their state and switches their power, input and mute. lumarinctl does the same \
from scripts and monitoring systems; pjlink-cli talks to one projector directly.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bash-completion")
set(CPACK_STRIP_FILES ON)
include(CPack)
