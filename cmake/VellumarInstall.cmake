# Where an installed Vellumar puts its files, and the desktop's view of it: the menu entry, the icons
# and the software centre's description, all under one application id. Every destination is relative to
# the install prefix, so an install moved elsewhere (DESTDIR, a package, another prefix) still works.
include(GNUInstallDirs)

set(VELLUMAR_APP_ID "io.github.vellumar.Vellumar" CACHE STRING "Reverse-DNS application id")
set(VELLUMAR_HOMEPAGE "https://github.com/vellumar/vellumar" CACHE STRING "The project's home page")
set(VELLUMAR_MAINTAINER "Vellumar Software <vellumar@users.noreply.github.com>" CACHE STRING
    "Who answers for the package: name <address>")
set(VELLUMAR_ICON_SIZES 16 32 48 64 128 256)
# The window's own icon stops at 128: with the 256 picture the icon no longer fits in one X11 request,
# and the window would show none at all.
set(VELLUMAR_WINDOW_ICON_SIZES 16 32 48 64 128)
set(vellumarIconSource ${PROJECT_SOURCE_DIR}/resources/icons/app/vellumar.svg)

install(TARGETS vellumar vellumar-batch RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The icons are drawn once, as SVG; the PNG sizes are rendered from it at build time, for the icon theme
# and, through a Qt resource, for the window.
find_program(VELLUMAR_RSVG_CONVERT rsvg-convert)
if(NOT VELLUMAR_RSVG_CONVERT)
    message(FATAL_ERROR "rsvg-convert is missing (Debian: librsvg2-bin, see tools/deps.sh)")
endif()
set(vellumarIconPngs)
set(vellumarWindowIconPngs)
foreach(size IN LISTS VELLUMAR_ICON_SIZES)
    set(png ${PROJECT_BINARY_DIR}/icons/vellumar-${size}.png)
    add_custom_command(OUTPUT ${png}
        COMMAND ${VELLUMAR_RSVG_CONVERT} --width ${size} --height ${size} --output ${png} ${vellumarIconSource}
        DEPENDS ${vellumarIconSource}
        COMMENT "Rendering the ${size} pixel icon"
        VERBATIM)
    list(APPEND vellumarIconPngs ${png})
    if(size IN_LIST VELLUMAR_WINDOW_ICON_SIZES)
        list(APPEND vellumarWindowIconPngs ${png})
    endif()
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${VELLUMAR_APP_ID}.png)
endforeach()
add_custom_target(vellumar_icons DEPENDS ${vellumarIconPngs})
add_dependencies(vellumar vellumar_icons)
qt_add_resources(vellumar vellumar_app_icon PREFIX /icons/app BASE ${PROJECT_BINARY_DIR}/icons
                 FILES ${vellumarWindowIconPngs})
install(FILES ${vellumarIconSource} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${VELLUMAR_APP_ID}.svg)
# The window names its desktop file, so the desktop matches the running program to its menu entry.
target_compile_definitions(vellumar PRIVATE VELLUMAR_APP_ID="${VELLUMAR_APP_ID}")

# The newest release of the software centre's description is the project's version.
file(READ ${PROJECT_SOURCE_DIR}/packaging/metainfo.xml.in vellumarMetainfo)
string(REGEX MATCH "<release version=\"([^\"]*)\" date=\"([^\"]*)\"" vellumarNewestRelease "${vellumarMetainfo}")
set(VELLUMAR_RELEASE_DATE ${CMAKE_MATCH_2})
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
    message(WARNING "packaging/metainfo.xml.in lists ${CMAKE_MATCH_1} as the newest release, "
                    "the project is ${PROJECT_VERSION}: add the release")
endif()
configure_file(packaging/vellumar.desktop.in ${PROJECT_BINARY_DIR}/${VELLUMAR_APP_ID}.desktop @ONLY)
configure_file(packaging/metainfo.xml.in ${PROJECT_BINARY_DIR}/${VELLUMAR_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/${VELLUMAR_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_BINARY_DIR}/${VELLUMAR_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
configure_file(packaging/copyright.in ${PROJECT_BINARY_DIR}/copyright @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Generated manual pages and shell completions are picked up from these build folders when a target
# writes them there (a page as man1/NAME.1; a completion under its shell's name, named as Debian's
# shells look for it: bash/vellumar-batch, zsh/_vellumar-batch, fish/vellumar-batch.fish).
set(VELLUMAR_MAN1_DIR ${PROJECT_BINARY_DIR}/man1)
set(VELLUMAR_COMPLETIONS_DIR ${PROJECT_BINARY_DIR}/completions)
install(DIRECTORY ${VELLUMAR_MAN1_DIR}/ DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 OPTIONAL
        FILES_MATCHING PATTERN "*.1")
install(DIRECTORY ${VELLUMAR_COMPLETIONS_DIR}/bash/ DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        OPTIONAL)
install(DIRECTORY ${VELLUMAR_COMPLETIONS_DIR}/zsh/ DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions OPTIONAL)
install(DIRECTORY ${VELLUMAR_COMPLETIONS_DIR}/fish/ DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d
        OPTIONAL)
