# Installation under a prefix (/usr in the package) and the Debian package
# built from it by CPack:
#   bin/                      tessaro-cli and, once it is built, tessaro
#   lib/tessaro/              the shared libraries of the programs
#   lib/tessaro/kernel/       the site plug-ins, in the layout of dist/kernel/
#   share/tessaro/            the defaults a new home is laid out from
# The programs find the rest relative to their own path, so an unpacked
# package works wherever it is unpacked.
include(GNUInstallDirs)
set(TESSARO_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tessaro)

set(TESSARO_PRIVATE_LIB_DIR ${CMAKE_INSTALL_LIBDIR}/tessaro)
if(CMAKE_INSTALL_LIBDIR MATCHES "/")
    message(FATAL_ERROR "Packaging expects a single-level library folder such as lib")
endif()

foreach(program tessaro_cli tessaro)
    if(TARGET ${program})
        set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/../${TESSARO_PRIVATE_LIB_DIR}")
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()

foreach(library netfetch patmatch)
    set_target_properties(${library} PROPERTIES INSTALL_RPATH "$ORIGIN")
    install(TARGETS ${library} LIBRARY DESTINATION ${TESSARO_PRIVATE_LIB_DIR} NAMELINK_SKIP)
endforeach()

# Each plug-in keeps its folder below kernel/ and the rpath that leads from
# there back to the shared libraries.
get_property(_plugins GLOBAL PROPERTY TESSARO_PLUGIN_TARGETS)
foreach(plugin ${_plugins})
    get_target_property(_output_dir ${plugin} LIBRARY_OUTPUT_DIRECTORY)
    get_target_property(_rpath ${plugin} BUILD_RPATH)
    file(RELATIVE_PATH _subdir ${TESSARO_DIST_DIR} ${_output_dir})
    set_target_properties(${plugin} PROPERTIES INSTALL_RPATH "${_rpath}")
    install(TARGETS ${plugin} LIBRARY DESTINATION ${TESSARO_PRIVATE_LIB_DIR}/${_subdir})
endforeach()

install(FILES data/global.ini data/global.zh_CN.ini data/dllmgr.ini data/help.txt
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tessaro)

set(_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(_generated ${CMAKE_BINARY_DIR}/packaging)

# The menu entry is the one the desktop program writes for a single user.
add_executable(tessaro_desktop_entry ${_packaging}/print_desktop_entry.cpp)
target_link_libraries(tessaro_desktop_entry PRIVATE setup tessaro_flags)
# A build tool: kept out of the portable home in dist/.
set_target_properties(tessaro_desktop_entry PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${_generated})
add_custom_command(OUTPUT ${_generated}/tessaro.desktop
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_generated}
    COMMAND tessaro_desktop_entry tessaro > ${_generated}/tessaro.desktop
    DEPENDS tessaro_desktop_entry)
add_custom_target(tessaro_desktop_file ALL DEPENDS ${_generated}/tessaro.desktop)

# The desktop files describe the window, so they come with it.
if(TARGET tessaro)
    install(FILES ${_generated}/tessaro.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${_packaging}/tessaro.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    set(_icon ${PROJECT_SOURCE_DIR}/ui/icons/tessaro.svg)
    if(EXISTS ${_icon})
        install(FILES ${_icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
        find_program(TESSARO_RSVG_CONVERT rsvg-convert REQUIRED)
        set(_pngs)
        foreach(size 16 24 32 48 64 128 256)
            set(_png ${_generated}/icons/${size}x${size}/tessaro.png)
            add_custom_command(OUTPUT ${_png}
                COMMAND ${CMAKE_COMMAND} -E make_directory ${_generated}/icons/${size}x${size}
                COMMAND ${TESSARO_RSVG_CONVERT} -w ${size} -h ${size} -o ${_png} ${_icon}
                DEPENDS ${_icon})
            list(APPEND _pngs ${_png})
            install(FILES ${_png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
        endforeach()
        add_custom_target(tessaro_icons ALL DEPENDS ${_pngs})
    endif()
endif()

install(FILES ${_packaging}/tessaro-daemon.service DESTINATION lib/systemd/user)
install(FILES ${_packaging}/serve.conf.example
        DESTINATION ${TESSARO_DOC_DIR}/examples/tessaro-daemon.service.d)
install(FILES ${_packaging}/tessaro-cli.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tessaro-cli)

set(TESSARO_MAINTAINER "Tessaro developers <maintainers@tessaro.example>"
    CACHE STRING "The package's maintainer: Name <address>")
configure_file(${_packaging}/changelog.in ${_generated}/changelog @ONLY)

# Debian wants manual pages and changelogs compressed at the highest level,
# without a timestamp.
find_program(TESSARO_GZIP gzip REQUIRED)
set(_compressed)
foreach(source ${_packaging}/man/tessaro.1 ${_packaging}/man/tessaro-cli.1 ${_generated}/changelog)
    get_filename_component(_name ${source} NAME)
    set(_gz ${_generated}/${_name}.gz)
    add_custom_command(OUTPUT ${_gz}
        COMMAND ${TESSARO_GZIP} -9 -n -c ${source} > ${_gz}
        DEPENDS ${source})
    list(APPEND _compressed ${_gz})
endforeach()
add_custom_target(tessaro_compressed_docs ALL DEPENDS ${_compressed})
install(FILES ${_generated}/tessaro-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(TARGET tessaro)
    install(FILES ${_generated}/tessaro.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
# A package without a Debian revision is native: its changelog is changelog.gz.
install(FILES ${_generated}/changelog.gz DESTINATION ${TESSARO_DOC_DIR})
install(FILES ${_packaging}/copyright DESTINATION ${TESSARO_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessaro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${TESSARO_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "local catalogue of BitTorrent index sites")
set(CPACK_PACKAGE_DESCRIPTION
    "Tessaro keeps a local, searchable SQLite catalogue of BitTorrent index web\n"
    "sites, fed by fifteen site plug-ins. It browses, refreshes, searches,\n"
    "fetches and prunes the catalogue from the command line, and refreshes it\n"
    "in the background as a systemd user service.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-noto-cjk)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
