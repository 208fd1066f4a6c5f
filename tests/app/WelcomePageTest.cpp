#include "PageTest.h"

#include <QComboBox>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class WelcomePageTest : public PageTest {};

// With no key the page greets a new user instead of staying blank; the first question
// puts the chat in its place.
TEST_F(WelcomePageTest, GreetsANewUserUntilTheFirstMessage) {
    ASSERT_EQ(control<QComboBox>("editApiKey")->currentText(), QString());
    EXPECT_TRUE(form->WelcomePageShown());
    EXPECT_TRUE(evaluate(u"document.getElementById('welcome') !== null"_s).toBool());
    EXPECT_TRUE(evaluateText(u"document.body.innerText"_s).contains(u"Ctrl+Enter"_s));

    form->AddUserMessage(u"Первый вопрос"_s, {});
    EXPECT_FALSE(form->WelcomePageShown());
    EXPECT_FALSE(evaluate(u"document.getElementById('welcome') !== null"_s).toBool());
    EXPECT_TRUE(container().contains(u"Первый вопрос"_s));
}

} // namespace
