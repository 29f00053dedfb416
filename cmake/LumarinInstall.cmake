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

# Manual pages, English and Japanese, installed gzipped as Debian wants them: PROGRAM.1 and
# PROGRAM.ja.1 beside each program's sources.
set(lumarin_man_pages tools/lumarinctl/lumarinctl tools/cli/pjlink-cli
                      tools/exporter/lumarin-exporter)
if(TARGET lumarin)
    list(APPEND lumarin_man_pages app/lumarin)
endif()
find_program(LUMARIN_GZIP gzip REQUIRED)
set(lumarin_gz_pages)
foreach(page IN LISTS lumarin_man_pages)
    get_filename_component(name ${page} NAME)
    foreach(lang IN ITEMS "" ja)
        if(lang)
            set(source ${PROJECT_SOURCE_DIR}/${page}.${lang}.1)
            set(dir ${CMAKE_INSTALL_MANDIR}/${lang}/man1)
        else()
            set(source ${PROJECT_SOURCE_DIR}/${page}.1)
            set(dir ${CMAKE_INSTALL_MANDIR}/man1)
        endif()
        set(gz ${CMAKE_BINARY_DIR}/man/${dir}/${name}.1.gz)
        # -n: no name or time stamp inside, so the package is the same at every build.
        add_custom_command(OUTPUT ${gz}
                           COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man/${dir}
                           COMMAND ${LUMARIN_GZIP} -9n -c ${source} > ${gz}
                           DEPENDS ${source} VERBATIM)
        list(APPEND lumarin_gz_pages ${gz})
        install(FILES ${gz} DESTINATION ${dir})
    endforeach()
endforeach()

# What Debian wants of every package in its documentation folder.
set(lumarin_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/lumarin)
set(lumarin_changelog_gz ${CMAKE_BINARY_DIR}/man/changelog.gz)
add_custom_command(OUTPUT ${lumarin_changelog_gz}
                   COMMAND ${LUMARIN_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/packaging/changelog
                           > ${lumarin_changelog_gz}
                   DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog VERBATIM)
add_custom_target(lumarin_docs ALL DEPENDS ${lumarin_gz_pages} ${lumarin_changelog_gz})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${lumarin_changelog_gz}
        DESTINATION ${lumarin_doc_dir})

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
# The address that answers for the package; a site that builds its own sets its own.
set(LUMARIN_PACKAGE_MAINTAINER "Lumarin developers <lumarin@example.org>"
    CACHE STRING "The Debian package's Maintainer field: a name and an e-mail address")
set(CPACK_PACKAGE_CONTACT "${LUMARIN_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${LUMARIN_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "register, watch and command PJLink network projectors")
# Lines of at most 80 columns; CPack indents them and marks the empty one.
set(CPACK_PACKAGE_DESCRIPTION "Lumarin keeps a register of up to 100 PJLink projectors in a tree
of groups, watches their power, input, mute, errors and lamp hours, logs
events, and switches their power, input and mute, one projector, several or
whole groups at a time, at once or on schedules that cron runs.

The package holds the main window (lumarin), lumarinctl for scripts, cron and
monitoring systems, lumarin-exporter to serve the register to Prometheus, and
pjlink-cli to talk to one projector directly.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Schedules are lines in the user's crontab: crontab writes them, the cron daemon runs them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "cron | cron-daemon")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bash-completion")
set(CPACK_STRIP_FILES ON)
include(CPack)
