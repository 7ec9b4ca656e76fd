# SPDX-License-Identifier: GPL-3.0-or-later
# Installation into the standard XDG locations and a Debian package through CPack.
# Included from the top-level CMakeLists.txt after the sources, so the executable target exists.

include(GNUInstallDirs)

set(VELMORA_PACKAGE velmora-viewer)
# The AppStream component id; the desktop entry carries the same name, as software centres expect.
set(VELMORA_APP_ID example.velmora.viewer)
set(VELMORA_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${VELMORA_PACKAGE})
set(VELMORA_DATA_OUT ${PROJECT_BINARY_DIR}/data)

# --- The Debian changelog: the one place for the package's version, release and maintainer ------

set(VELMORA_CHANGELOG ${PROJECT_SOURCE_DIR}/data/debian/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VELMORA_CHANGELOG})
file(STRINGS ${VELMORA_CHANGELOG} _velmora_changelog_head LIMIT_COUNT 1)
if(NOT _velmora_changelog_head MATCHES "^${VELMORA_PACKAGE} \\(([^-]+)-([^)]+)\\) ")
    message(FATAL_ERROR "data/debian/changelog: the first line is no entry of ${VELMORA_PACKAGE}")
endif()
set(VELMORA_UPSTREAM_VERSION ${CMAKE_MATCH_1})
set(VELMORA_DEBIAN_RELEASE ${CMAKE_MATCH_2})
if(NOT VELMORA_UPSTREAM_VERSION STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "data/debian/changelog: the newest entry is ${VELMORA_UPSTREAM_VERSION}, "
                        "the project is ${PROJECT_VERSION}")
endif()
file(STRINGS ${VELMORA_CHANGELOG} _velmora_trailer REGEX "^ -- " LIMIT_COUNT 1)
if(NOT _velmora_trailer MATCHES
       "^ -- (.+ <[^>]+>)  [A-Z][a-z][a-z], ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
    message(FATAL_ERROR "data/debian/changelog: the newest entry has no valid trailer line")
endif()
set(VELMORA_MAINTAINER "${CMAKE_MATCH_1}")
set(_velmora_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND _velmora_months ${CMAKE_MATCH_3} _velmora_month)
if(_velmora_month EQUAL -1)
    message(FATAL_ERROR "data/debian/changelog: no month ${CMAKE_MATCH_3} in the trailer line")
endif()
math(EXPR _velmora_month "${_velmora_month} + 1" OUTPUT_FORMAT DECIMAL)
if(_velmora_month LESS 10)
    set(_velmora_month 0${_velmora_month})
endif()
set(VELMORA_RELEASE_DATE ${CMAKE_MATCH_4}-${_velmora_month}-${CMAKE_MATCH_2})

# --- Files made at build time ---------------------------------------------------------------------

configure_file(${PROJECT_SOURCE_DIR}/data/${VELMORA_APP_ID}.metainfo.xml.in
               ${VELMORA_DATA_OUT}/${VELMORA_APP_ID}.metainfo.xml @ONLY)

# Debian wants the manual page and the changelog compressed, without name or time stamp (-n), so
# that the package builds reproducibly.
find_program(VELMORA_GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${VELMORA_DATA_OUT}/changelog.Debian.gz
                   COMMAND ${CMAKE_COMMAND} -E copy ${VELMORA_CHANGELOG} changelog.Debian
                   COMMAND ${VELMORA_GZIP} -9nf changelog.Debian
                   DEPENDS ${VELMORA_CHANGELOG} WORKING_DIRECTORY ${VELMORA_DATA_OUT} VERBATIM)
add_custom_command(OUTPUT ${VELMORA_DATA_OUT}/velmora-viewer.1.gz
                   COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/velmora-viewer.1 .
                   COMMAND ${VELMORA_GZIP} -9nf velmora-viewer.1
                   DEPENDS ${PROJECT_SOURCE_DIR}/docs/velmora-viewer.1
                   WORKING_DIRECTORY ${VELMORA_DATA_OUT} VERBATIM)
set(_velmora_generated ${VELMORA_DATA_OUT}/changelog.Debian.gz ${VELMORA_DATA_OUT}/velmora-viewer.1.gz)

# The icon theme asks for a 48 px PNG at least beside the scalable icon; larger ones keep
# launchers and software centres sharp.
set(VELMORA_ICON_SIZES 48 128 256)
find_program(VELMORA_RSVG_CONVERT rsvg-convert)
if(VELMORA_RSVG_CONVERT)
    foreach(size IN LISTS VELMORA_ICON_SIZES)
        set(png ${VELMORA_DATA_OUT}/icons/${size}/velmora-viewer.png)
        add_custom_command(OUTPUT ${png}
                           COMMAND ${CMAKE_COMMAND} -E make_directory icons/${size}
                           COMMAND ${VELMORA_RSVG_CONVERT} -w ${size} -h ${size}
                                   -o ${png} ${PROJECT_SOURCE_DIR}/data/velmora-viewer.svg
                           DEPENDS ${PROJECT_SOURCE_DIR}/data/velmora-viewer.svg
                           WORKING_DIRECTORY ${VELMORA_DATA_OUT} VERBATIM)
        list(APPEND _velmora_generated ${png})
        install(FILES ${png}
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
else()
    message(WARNING "rsvg-convert (Debian package librsvg2-bin) is missing: no PNG icons are "
                    "installed. scripts/deps.sh package installs it.")
endif()
add_custom_target(velmora-data ALL DEPENDS ${_velmora_generated})

# --- Installation ----------------------------------------------------------------------------------

if(TARGET velmora-viewer)
    install(TARGETS velmora-viewer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    # The decoder process and the launcher that confines dcraw, in the package's private folder:
    # no user runs them.
    install(TARGETS velmora-decoder velmora-confine
            RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/velmora-viewer)
    # The plain strip that CPack runs leaves the .comment and .note sections, which Debian's own
    # packaging (dh_strip) removes as well.
    foreach(program ${CMAKE_INSTALL_BINDIR}/velmora-viewer
                    ${CMAKE_INSTALL_LIBEXECDIR}/velmora-viewer/velmora-decoder
                    ${CMAKE_INSTALL_LIBEXECDIR}/velmora-viewer/velmora-confine)
        install(CODE "
            if(CMAKE_INSTALL_DO_STRIP)
                execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment
                                        --remove-section=.note
                                        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${program}\"
                                COMMAND_ERROR_IS_FATAL ANY)
            endif()")
    endforeach()
else()
    message(WARNING "Packaging: target velmora-viewer is not defined; the binary will not be installed")
endif()

install(FILES ${PROJECT_SOURCE_DIR}/data/${VELMORA_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VELMORA_DATA_OUT}/${VELMORA_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/data/velmora-viewer.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${VELMORA_DATA_OUT}/velmora-viewer.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/data/debian/copyright ${VELMORA_DATA_OUT}/changelog.Debian.gz
        DESTINATION ${VELMORA_DOC_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/data/debian/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ${VELMORA_PACKAGE})

# --- Debian package -----------------------------------------------------------------------------

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${VELMORA_PACKAGE})
set(CPACK_PACKAGE_VENDOR "Velmora Viewer developers")
set(CPACK_PACKAGE_CONTACT "${VELMORA_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Picture viewer with a folder tree, thumbnails and camera raw support")
set(CPACK_PACKAGE_DESCRIPTION
"Velmora Viewer browses the folders of the computer in a tree, shows the
pictures of a folder as a grid of thumbnails that fill in from a background
thread, and opens a picture in a central pane where it can be zoomed, fitted
to the window and printed. Besides every format the installed Qt image
plugins read, it shows camera raw files by running the dcraw decoder, and
through LibRaw those dcraw cannot read (newer cameras, Canon CR3). It also
reads HEIC, AVIF, JPEG XL, JPEG 2000, OpenEXR, Photoshop (the merged
picture), TGA and PCX files; HDR pictures (PQ, HLG, OpenEXR) are tone-mapped
for an ordinary screen. It reads pictures and never changes them.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME ${VELMORA_PACKAGE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELMORA_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.velmora.example")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VELMORA_DEBIAN_RELEASE})
# dpkg-shlibdeps names the libraries the binary links, with their minimum versions. Only what
# the viewer loads or runs by itself is named here: the image-format plugins (TIFF for dcraw's
# full conversions, WebP and more), the SVG plugins (the scalable icon and SVG pictures) and dcraw
# for camera raw files.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "dcraw, qt6-image-formats-plugins, libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hicolor-icon-theme")

find_program(VELMORA_DPKG dpkg)
set(VELMORA_DEB_ARCH amd64)
if(VELMORA_DPKG)
    execute_process(COMMAND ${VELMORA_DPKG} --print-architecture
                    OUTPUT_VARIABLE VELMORA_DEB_ARCH OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE VELMORA_DPKG_RESULT)
    if(NOT VELMORA_DPKG_RESULT EQUAL 0 OR VELMORA_DEB_ARCH STREQUAL "")
        set(VELMORA_DEB_ARCH amd64)
    endif()
endif()
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${VELMORA_DEB_ARCH})
set(CPACK_PACKAGE_FILE_NAME
    "${VELMORA_PACKAGE}_${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}_${VELMORA_DEB_ARCH}")

include(CPack)
