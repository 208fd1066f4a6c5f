#include "page/WelcomePage.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// The page tells a new user the three steps, and nothing on it is fetched: the key
// page's address is its only address, and only as a link.
TEST(WelcomePage, GuidesANewUserWithNothingRemote) {
    const QString& html = WelcomePageHtml();
    for (const QString& text : {u"Вставьте ключ в поле «Ключ:»"_s, u"<kbd>Enter</kbd>"_s,
                                u"<kbd>Ctrl+Enter</kbd>"_s, u"<html lang=\"ru\">"_s})
        EXPECT_TRUE(html.contains(text)) << text.toStdString();
    EXPECT_TRUE(html.contains(u"<a href=\"%1\">"_s.arg(KeyPageAddress())));

    const QRegularExpression address(u"(?:https?:)?//[^\"<\\s]+"_s);
    for (auto match = address.globalMatch(html); match.hasNext();)
        EXPECT_EQ(match.next().captured(), KeyPageAddress());
    for (const char* fetching : {"src=", "<link", "@import", "url("})
        EXPECT_FALSE(html.contains(QLatin1StringView(fetching))) << fetching;
    // The chat page is later written into this same document, which keeps any policy
    // given here: the chat page's own must be the only one.
    EXPECT_FALSE(html.contains(u"Content-Security-Policy"_s));
    EXPECT_TRUE(html.contains(u"@media (prefers-color-scheme: dark)"_s));
}

} // namespace
