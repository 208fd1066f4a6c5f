# cmake -DSTYLESHEET=katex.min.css -DFONTS=dir -DOUTPUT=file -P InlineKatexFonts.cmake
# KaTeX's stylesheet with each font as a data: address in place of its fonts/… file. The
# chat page is a document of no origin, and the web engine fetches fonts across origins
# only from web schemes, so a font from qrc: would be refused; one inside the stylesheet
# needs no fetch. The WOFF2 form is kept; the older forms it lists as fallbacks go.
file(READ ${STYLESHEET} css)
string(REGEX REPLACE ",url\\(fonts/[A-Za-z0-9_-]+\\.woff\\) format\\('woff'\\)" "" css "${css}")
string(REGEX REPLACE ",url\\(fonts/[A-Za-z0-9_-]+\\.ttf\\) format\\('truetype'\\)" "" css "${css}")
string(REGEX MATCHALL "url\\(fonts/[A-Za-z0-9_-]+\\.woff2\\)" fonts "${css}")
list(REMOVE_DUPLICATES fonts)
if(NOT fonts)
    message(FATAL_ERROR "${STYLESHEET} names no WOFF2 fonts")
endif()
foreach(reference IN LISTS fonts)
    string(REGEX REPLACE "url\\(fonts/(.*)\\)" "\\1" name "${reference}")
    execute_process(COMMAND base64 -w0 ${FONTS}/${name} OUTPUT_VARIABLE data
                    RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "cannot read ${FONTS}/${name}: install fonts-katex")
    endif()
    string(REPLACE "${reference}" "url(data:font/woff2;base64,${data})" css "${css}")
endforeach()
if(css MATCHES "url\\(fonts/")
    message(FATAL_ERROR "${STYLESHEET} names fonts in a form this script does not know")
endif()
file(WRITE ${OUTPUT} "${css}")
