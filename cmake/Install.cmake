# What `cmake --install` puts where, and the Debian package CPack builds from it.
include(GNUInstallDirs)

set(TOVIK_APP_ID ru.tovik.TovikL)

install(TARGETS tovik-l tovik-md RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES data/${TOVIK_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/${TOVIK_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
configure_file(data/${TOVIK_APP_ID}.metainfo.xml ${PROJECT_BINARY_DIR}/${TOVIK_APP_ID}.metainfo.xml
               @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/${TOVIK_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Debian wants a copyright file and a compressed changelog in the package's doc folder.
set(TOVIK_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tovik-l)
set(TOVIK_CHANGELOG ${PROJECT_BINARY_DIR}/changelog)
file(WRITE ${TOVIK_CHANGELOG}
     "tovik-l (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
     "  * Release ${PROJECT_VERSION}.\n\n"
     " -- Tovik-L developers <developers@tovik.ru>  Thu, 10 Dec 2026 12:00:00 +0000\n")
find_program(GZIP_PROGRAM gzip REQUIRED)
add_custom_command(OUTPUT ${TOVIK_CHANGELOG}.gz
                   COMMAND ${GZIP_PROGRAM} -9nkf ${TOVIK_CHANGELOG}
                   DEPENDS ${TOVIK_CHANGELOG})
add_custom_target(tovik_changelog ALL DEPENDS ${TOVIK_CHANGELOG}.gz)
install(FILES ${TOVIK_CHANGELOG}.gz DESTINATION ${TOVIK_DOC_DIR})
install(FILES data/copyright DESTINATION ${TOVIK_DOC_DIR})

# The package: scripts/package builds the programs first, so packing builds nothing.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tovik-l)
set(CPACK_PACKAGE_VENDOR "Tovik-L developers")
set(CPACK_PACKAGE_CONTACT "Tovik-L developers <developers@tovik.ru>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop chat client for Google's Gemini models")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Tovik-L is a desktop chat client for Google's Gemini API.\n"
       "Write a prompt, attach files, pick a model and an API key, and read\n"
       "the answer rendered from Markdown with copyable code blocks. Chats\n"
       "are kept as files in the user's data folder.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Libraries come from the binaries; what the program loads by name at run time (fonts
# for the page and its emoji, Qt's Russian translations, the SVG plugins that draw its
# icon) is named here. KaTeX, its fonts
# and highlight.js are needed to build only: they are compiled into the program.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fonts-dejavu-core, fonts-noto-color-emoji, qt6-translations-l10n, libqt6svg6")
# Answers in Chinese, Japanese or Korean need these faces to show; they are large, and a
# user who never reads those scripts may do without them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")
include(CPack)
