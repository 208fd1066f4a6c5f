#include "page/WelcomePage.h"
#include "LinkCatcher.h"
#include "PageTest.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QTest>
#include <QWebEngineView>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class WelcomePageTest : public PageTest {};

// With no key the page greets a new user instead of staying blank; the first question
// puts the chat in its place.
TEST_F(WelcomePageTest, GreetsANewUserUntilTheFirstMessage) {
    ASSERT_EQ(control<QComboBox>("editApiKey")->currentText(), QString());
    EXPECT_TRUE(form->View().WelcomePageShown());
    EXPECT_TRUE(evaluate(u"document.getElementById('welcome') !== null"_s).toBool());
    EXPECT_TRUE(evaluateText(u"document.body.innerText"_s).contains(u"Ctrl+Enter"_s));

    form->View().AddUserMessage(u"Первый вопрос"_s, {});
    EXPECT_FALSE(form->View().WelcomePageShown());
    EXPECT_FALSE(evaluate(u"document.getElementById('welcome') !== null"_s).toBool());
    EXPECT_TRUE(container().contains(u"Первый вопрос"_s));

    // Shown again over the chat (a send without a key), it keeps its own look.
    form->View().ShowWelcomePage();
    EXPECT_TRUE(form->View().WelcomePageShown());
    EXPECT_EQ(evaluateText(u"getComputedStyle(document.getElementById('welcome')).maxWidth"_s),
              u"640px"_s);
}

// The key page's link goes to the user's browser; the welcome page stays.
TEST_F(WelcomePageTest, TheKeyPageLinkOpensInTheBrowser) {
    LinkCatcher catcher;
    QDesktopServices::setUrlHandler(u"https"_s, &catcher, "open");
    const QVariantList box = evaluate(u"var r = document.links[0].getBoundingClientRect(); "
                                      u"[r.x + r.width / 2, r.y + r.height / 2]"_s)
                                 .toList();
    ASSERT_EQ(box.size(), 2);
    QWidget* target = control<QWebEngineView>("WebBrowser1")->focusProxy();
    ASSERT_NE(target, nullptr);
    QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(box[0].toInt(), box[1].toInt()));
    EXPECT_TRUE(WaitUntil([&] { return !catcher.opened.isEmpty(); }, kPageTimeoutMs));
    QDesktopServices::unsetUrlHandler(u"https"_s);
    EXPECT_EQ(catcher.opened, QList<QUrl>{QUrl(KeyPageAddress())});
    EXPECT_TRUE(evaluate(u"document.getElementById('welcome') !== null"_s).toBool());
}

} // namespace
