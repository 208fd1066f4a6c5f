#include "page/ChatPageTemplate.h"

#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

TEST(ChatPageTemplate, TemplateHoldsTheStylesInOrder) {
    const QString page = ChatPageTemplate();
    EXPECT_TRUE(page.startsWith(
        QStringLiteral("<!DOCTYPE html><html lang=\"ru\"><head>  <meta http-equiv=\"X-UA-"
                       "Compatible\" content=\"IE=edge\">  <meta charset=\"UTF-8\">")));
    EXPECT_TRUE(page.endsWith(QStringLiteral(
        "  <script defer=\"\" src=\"qrc:/page/highlight/highlight.min.js\"></script></head><body>  "
        "<div id=\"chat-container\"></div></body></html>")));
    EXPECT_FALSE(page.contains(u'\n') || page.contains(u'\r'));
    EXPECT_TRUE(page.contains(QStringLiteral(
        "  <style>    body { font-family: Segoe UI, sans-serif, \"Noto Sans CJK SC\", "
        "\"Noto Color Emoji\"; line-height: 1.6; "
        "padding: 16px; color: #212121; background-color: #f5f5f5; font-size: "
        "18px; }    .message-wrapper {")));
    EXPECT_TRUE(page.contains(QStringLiteral(
        "    .attachments ul { margin: 5px 0 0 0; padding-left: 20px; list-style-type: "
        "\"\U0001F4C1\"; }    .attachments li { margin-bottom: 3px; }")));
    EXPECT_TRUE(page.contains(
        QStringLiteral(".generated-image { max-width: 100%; height: auto; border-radius: 8px; }    "
                       ".display-note { font-size: 0.9em; color: #777; }")));
    EXPECT_TRUE(page.contains(QStringLiteral(".copy-btn:hover { background-color: #777; }")));
    EXPECT_TRUE(
        page.contains(QStringLiteral(" }  </style>  <script>    function copyCode(btn) {")));
    EXPECT_TRUE(page.contains(QStringLiteral(
        ".failure-message summary { cursor: pointer; color: #555; font-size: 0.9em; }"
        "    .message-content a.retry-btn {")));
    EXPECT_TRUE(page.contains(
        QStringLiteral(".sources ol { margin: 4px 0 0 0; padding-left: 22px; }    :root {")));
    EXPECT_TRUE(
        page.contains(QStringLiteral("<script>") + ChatPageScript() + QStringLiteral("</script>")));
    EXPECT_TRUE(
        page.contains(QStringLiteral("<style>") + ChatPageStyle() + QStringLiteral("</style>")));
    // Only the page's own script and style and the program's files, images from the page
    // and the program, nothing else from anywhere.
    const QRegularExpression policy(QStringLiteral(
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; script-src "
        "'sha256-[^']+' 'unsafe-hashes' 'sha256-[^']+' qrc:; style-src 'sha256-[^']+' qrc:; "
        "font-src data:; img-src data: qrc:; base-uri 'none'; form-action 'none'\">"));
    EXPECT_TRUE(policy.match(page).hasMatch());
}

// Every file the page names is compiled into the program, and KaTeX's stylesheet holds
// its fonts itself.
TEST(ChatPageTemplate, PageAssetsAreInTheProgram) {
    const QRegularExpression address(QStringLiteral("(?:href|src)=\"qrc:(/page/[^\"]+)\""));
    QStringList named;
    for (const QRegularExpressionMatch& match : address.globalMatch(ChatPageTemplate()))
        named.append(match.captured(1));
    ASSERT_EQ(named.size(), 6);
    for (const QString& path : named) {
        QFile file(u':' + path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly) && file.size() > 0) << path.toStdString();
    }
    QFile stylesheet(QStringLiteral(":/page/katex/katex.css"));
    ASSERT_TRUE(stylesheet.open(QIODevice::ReadOnly));
    const QString css = QString::fromUtf8(stylesheet.readAll());
    EXPECT_FALSE(css.contains(QStringLiteral("url(fonts/")));
    EXPECT_EQ(css.count(QStringLiteral("@font-face")),
              css.count(QStringLiteral("src:url(data:font/woff2;base64,")));
    EXPECT_GE(css.count(QStringLiteral("@font-face")), 19);
}

} // namespace
