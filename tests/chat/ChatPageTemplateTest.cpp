#include "ChatPageTemplate.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

TEST(ChatPageTemplate, TemplateHoldsTheStylesInOrder) {
    const QString page = ChatPageTemplate();
    EXPECT_TRUE(page.startsWith(
        QStringLiteral("<!DOCTYPE html><html lang=\"ru\"><head>  <meta http-equiv=\"X-UA-"
                       "Compatible\" content=\"IE=edge\">  <meta charset=\"UTF-8\">")));
    EXPECT_TRUE(page.endsWith(QStringLiteral(
        "  </script></head><body>  <div id=\"chat-container\"></div></body></html>")));
    EXPECT_FALSE(page.contains(u'\n') || page.contains(u'\r'));
    EXPECT_TRUE(page.contains(
        QStringLiteral("  <style>    body { font-family: Segoe UI, sans-serif; line-height: 1.6; "
                       "padding: 16px; color: #212121; background-color: #f5f5f5; font-size: "
                       "18px; }    .message-wrapper {")));
    EXPECT_TRUE(page.contains(QStringLiteral(
        "    .attachments ul { margin: 5px 0 0 0; padding-left: 20px; list-style-type: "
        "\"\U0001F4C1\"; }    .attachments li { margin-bottom: 3px; }")));
    EXPECT_TRUE(page.contains(
        QStringLiteral("font-size: 0.95em; }    code { font-family: inherit; }    "
                       ".generated-image { max-width: 100%; height: auto; border-radius: 8px; }    "
                       ".display-note { font-size: 0.9em; color: #777; }    .live-status {")));
    EXPECT_TRUE(page.contains(
        QStringLiteral(".sources ol { margin: 4px 0 0 0; padding-left: 22px; }  </style>  "
                       "<script>    function copyCode(btn) {")));
    EXPECT_TRUE(
        page.contains(QStringLiteral("<script>") + ChatPageScript() + QStringLiteral("</script>")));
    EXPECT_TRUE(
        page.contains(QStringLiteral("<style>") + ChatPageStyle() + QStringLiteral("</style>")));
    // Only the page's own script and style, images from the page, the program and the
    // formula service, nothing else from anywhere.
    const QRegularExpression policy(QStringLiteral(
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; script-src "
        "'sha256-[^']+' 'unsafe-hashes' 'sha256-[^']+'; style-src 'sha256-[^']+'; img-src data: "
        "qrc: https://chart.googleapis.com; base-uri 'none'; form-action 'none'\">"));
    EXPECT_TRUE(policy.match(page).hasMatch());
}

} // namespace
