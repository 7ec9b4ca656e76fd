# Installation into the standard XDG locations and a Debian package through CPack.
# Included from the top-level CMakeLists.txt after the sources, so the executable target exists.

include(GNUInstallDirs)

set(VELMORA_APP_ID velmora-viewer)

if(TARGET velmora-viewer)
    install(TARGETS velmora-viewer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
else()
    message(WARNING "Packaging: target velmora-viewer is not defined; the binary will not be installed")
endif()

install(FILES ${PROJECT_SOURCE_DIR}/data/${VELMORA_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/${VELMORA_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# --- Debian package -----------------------------------------------------------------------------

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${VELMORA_APP_ID})
set(CPACK_PACKAGE_VENDOR "Velmora Viewer developers")
set(CPACK_PACKAGE_CONTACT "Velmora Viewer developers <dev@velmora.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Picture viewer with a folder tree, thumbnails and camera raw support")
set(CPACK_PACKAGE_DESCRIPTION
"Velmora Viewer browses the folders of the computer in a tree, shows the
pictures of a folder as a grid of thumbnails that fill in from a background
thread, and opens a picture in a central pane where it can be zoomed, fitted
to the window and printed. Besides every format the installed Qt image
plugins read, it shows camera raw files by running the dcraw decoder. It
reads pictures and never changes them.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME ${VELMORA_APP_ID})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Velmora Viewer developers <dev@velmora.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
# Run-time needs: Qt widgets and printing; libqt6gui6 also carries the xcb platform plugin
# (needed to open an X11 window) and the JPEG/GIF readers; the image-format plugins add TIFF
# (dcraw's full conversions), WebP and more; dcraw decodes the camera raw files.
# libqt6svg6 carries the SVG icon engine that reads the window icon.
# dpkg-shlibdeps adds the C and C++ run-time libraries with their minimum versions.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), libqt6printsupport6 (>= 6.4), qt6-image-formats-plugins, dcraw")
string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libqt6svg6 (>= 6.4)")
# libexiv2 reads the orientation of camera raw files whose previews carry none.
string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libexiv2-27")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
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
    "${VELMORA_APP_ID}_${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}_${VELMORA_DEB_ARCH}")

include(CPack)
