# KaTeX with its fonts and highlight.js, taken from the Debian packages at build time and
# compiled into the program: the chat page loads them from qrc:/page/ and never from the
# network.
set(TOVIK_KATEX_DIR /usr/share/javascript/katex CACHE PATH "KaTeX (libjs-katex)")
set(TOVIK_KATEX_FONTS_DIR /usr/share/fonts/truetype/katex CACHE PATH "KaTeX fonts (fonts-katex)")
set(TOVIK_HIGHLIGHT_DIR /usr/share/javascript/highlight.js
    CACHE PATH "highlight.js (libjs-highlight.js)")

set(katex_css ${CMAKE_CURRENT_BINARY_DIR}/page/katex.css)
file(GLOB katex_fonts ${TOVIK_KATEX_FONTS_DIR}/*.woff2)
add_custom_command(
    OUTPUT ${katex_css}
    COMMAND ${CMAKE_COMMAND} -DSTYLESHEET=${TOVIK_KATEX_DIR}/katex.min.css
            -DFONTS=${TOVIK_KATEX_FONTS_DIR} -DOUTPUT=${katex_css}
            -P ${CMAKE_CURRENT_SOURCE_DIR}/InlineKatexFonts.cmake
    DEPENDS ${TOVIK_KATEX_DIR}/katex.min.css ${katex_fonts}
            ${CMAKE_CURRENT_SOURCE_DIR}/InlineKatexFonts.cmake
    COMMENT "Putting KaTeX's fonts into its stylesheet")

set(page_assets
    ${TOVIK_KATEX_DIR}/katex.min.js katex/katex.min.js
    ${katex_css} katex/katex.css
    ${TOVIK_HIGHLIGHT_DIR}/highlight.min.js highlight/highlight.min.js
    ${TOVIK_HIGHLIGHT_DIR}/styles/atom-one-light.css highlight/light.css
    ${TOVIK_HIGHLIGHT_DIR}/styles/atom-one-dark.css highlight/dark.css
    ${CMAKE_CURRENT_SOURCE_DIR}/assets/typeset.css typeset.css)
set(page_asset_files)
while(page_assets)
    list(POP_FRONT page_assets file alias)
    if(NOT file STREQUAL katex_css AND NOT EXISTS ${file})
        message(FATAL_ERROR "${file} is missing: scripts/install-deps installs libjs-katex, "
                            "fonts-katex and libjs-highlight.js")
    endif()
    set_source_files_properties(${file} PROPERTIES QT_RESOURCE_ALIAS ${alias})
    list(APPEND page_asset_files ${file})
endwhile()

qt_add_resources(tovik_page page_assets PREFIX /page FILES ${page_asset_files})
