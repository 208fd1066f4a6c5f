// Formulas and code typeset in the real web view with the program's own KaTeX and
// highlight.js: nothing is fetched, broken or hostile TeX shows its source, and the text
// a copy button copies stays the plain text.
#include "app/ChatPage.h"
#include "chat/GeminiDM.h"
#include "app/MainWindow.h"
#include "PageTest.h"
#include "RequestRecorder.h"

#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <gtest/gtest.h>

namespace {

const QString kMathAnswer = QStringLiteral("Energy $E = mc^2$ and \\(a^2 + b^2 = c^2\\).\n\n"
                                           "$$\\int_0^1 x\\,dx = \\frac{1}{2}$$\n\n"
                                           "```cpp\nint main() {\n    return 0; // done\n}\n```\n\n"
                                           "```\nint main() {\n    return 0; // done\n}\n```\n");

class ChatPageTypesetTest : public PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        profile()->setUrlRequestInterceptor(&recorder);
    }

    void TearDown() override {
        profile()->setUrlRequestInterceptor(nullptr);
        PageTest::TearDown();
    }

    QWebEngineProfile* profile() const {
        return control<QWebEngineView>("WebBrowser1")->page()->profile();
    }

    int count(const QString& selector) {
        return evaluate(QStringLiteral("document.querySelectorAll('%1').length").arg(selector))
            .toInt();
    }

    // Waits until the page's libraries have loaded and typeset what it shows.
    void waitForTypeset(const QString& selector, int expected) {
        ASSERT_TRUE(WaitUntil([&] { return count(selector) == expected; }, kPageTimeoutMs))
            << selector.toStdString() << ": " << count(selector);
    }

    // The mathematical answer, typeset: three formulas (one of them display math), the
    // C++ block highlighted, the block without a language plain and both copying the
    // same text, KaTeX's fonts loaded from the program.
    void expectMathAnswerTypeset() {
        waitForTypeset(QStringLiteral(".katex"), 3);
        EXPECT_EQ(count(QStringLiteral(".math-display .katex-display")), 1);
        EXPECT_EQ(count(QStringLiteral(".math-inline .katex")), 2);
        EXPECT_EQ(count(QStringLiteral(".katex-error")), 0);
        EXPECT_GT(count(QStringLiteral("pre code.cpp.hljs .hljs-keyword")), 0);
        EXPECT_EQ(count(QStringLiteral("pre code:not([class]) span")), 0);
        const QVariantList copied =
            evaluate(QStringLiteral("Array.from(document.querySelectorAll('pre'), p => "
                                    "p.innerText)"))
                .toList();
        ASSERT_EQ(copied.size(), 2);
        EXPECT_EQ(copied[0].toString(), QStringLiteral("int main() {\n    return 0; // done\n}\n"));
        EXPECT_EQ(copied[1], copied[0]);
        ASSERT_TRUE(WaitUntil(
            [&] {
                return evaluate(QStringLiteral("document.fonts.status == 'loaded' && "
                                               "document.fonts.check('1em KaTeX_Main')"))
                    .toBool();
            },
            kPageTimeoutMs));
        EXPECT_TRUE(evaluate(QStringLiteral("Array.from(document.fonts).some(f => f.family == "
                                            "'KaTeX_Main' && f.status == 'loaded')"))
                        .toBool());
    }

    RequestRecorder recorder;
};

TEST_F(ChatPageTypesetTest, FormulasAndCodeAreTypesetWithoutTheNetwork) {
    // The first chat of a new user takes the welcome page's place.
    ASSERT_TRUE(form->View().WelcomePageShown());
    form->View().AddUserMessage(QStringLiteral("A question"), {});
    form->View().AddModelMessage(kMathAnswer);
    expectMathAnswerTypeset();

    // One block at a time, as answers arrive.
    form->ResetChatView();
    form->View().AddUserMessage(QStringLiteral("A question"), {});
    form->View().AddModelMessage(kMathAnswer);
    expectMathAnswerTypeset();

    // A whole conversation written at once, as a chat is opened.
    geminiDM->SetChatHistory({{QStringLiteral("user"), {MakeTextPart(QStringLiteral("Q"))}},
                              {QStringLiteral("model"), {MakeTextPart(kMathAnswer)}}});
    form->ResetChatView();
    form->View().RenderHistory();
    expectMathAnswerTypeset();

    EXPECT_EQ(QUrl::toStringList(recorder.beyondTheProgram()).join(u' ').toStdString(), "");
}

// A long conversation is typeset as it comes near the view, so opening it costs little
// more than opening one without formulas; scrolled to, its last answer is typeset too.
TEST_F(ChatPageTypesetTest, LongConversationIsTypesetWhereTheReaderLooks) {
    TChatHistory history;
    for (int i = 0; i < 60; ++i) {
        history.append({QStringLiteral("user"), {MakeTextPart(QStringLiteral("Q"))}});
        history.append({QStringLiteral("model"), {MakeTextPart(kMathAnswer)}});
    }
    geminiDM->SetChatHistory(history);
    form->ResetChatView();
    form->View().RenderHistory();
    // A chat opens at its latest message.
    const QString lastAnswer = QStringLiteral(".message-wrapper:last-child");
    waitForTypeset(lastAnswer + QStringLiteral(" .katex"), 3);
    EXPECT_EQ(count(lastAnswer + QStringLiteral(" code.hljs")), 1);
    waitForTypeset(QStringLiteral("#chat-container > .message-wrapper"), 120);
    const QString firstAnswer = QStringLiteral(".message-wrapper:nth-child(2)");
    EXPECT_EQ(count(firstAnswer + QStringLiteral(" .katex")), 0);
    evaluate(QStringLiteral("window.scrollTo(0, 0)"));
    waitForTypeset(firstAnswer + QStringLiteral(" .katex"), 3);
}

TEST_F(ChatPageTypesetTest, BrokenTexShowsItsSourceInTheErrorColour) {
    const struct {
        const char* name;
        QString answer;
        QString source;
    } cases[] = {
        {"unclosed group", QStringLiteral("See $\\frac{1}{2$ here."),
         QStringLiteral("\\frac{1}{2")},
        {"endless macro", QStringLiteral("$$\\def\\a{\\a}\\a$$"),
         QStringLiteral("\\def\\a{\\a}\\a")},
        // Deep enough to exhaust the script's stack: the formula keeps its source.
        {"nesting beyond the stack",
         QStringLiteral("$%1x%2$").arg(QString(20000, u'{'), QString(20000, u'}')),
         QString(20000, u'{') + u'x' + QString(20000, u'}')},
        {"endless macro inline", QStringLiteral("\\(\\def\\b{\\b\\b}\\b\\)"),
         QStringLiteral("\\def\\b{\\b\\b}\\b")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        form->ResetChatView();
        form->View().AddModelMessage(c.answer + QStringLiteral("\n\nAfter: $x$"));
        // The later formula is typeset too, and the page still answers.
        waitForTypeset(QStringLiteral(".katex"), 1);
        ASSERT_EQ(count(QStringLiteral(".katex-error")), 1);
        EXPECT_EQ(
            evaluateText(QStringLiteral("document.querySelector('.katex-error').textContent")),
            c.source);
        EXPECT_EQ(evaluateText(QStringLiteral(
                      "getComputedStyle(document.querySelector('.katex-error')).color")),
                  QStringLiteral("rgb(204, 0, 0)"));
    }
    // Endless expansion ends at KaTeX's bound at once, not after a long search.
    EXPECT_TRUE(evaluate(QStringLiteral(
                             "var e = document.createElement('span'); var t = performance.now(); "
                             "katex.render('\\\\def\\\\a{\\\\a}\\\\a', e, {throwOnError: false, "
                             "maxExpand: 1000}); performance.now() - t < 1000 && "
                             "e.firstChild.title.includes('Too many expansions')"))
                    .toBool());
    EXPECT_EQ(QUrl::toStringList(recorder.beyondTheProgram()).join(u' ').toStdString(), "");
}

TEST_F(ChatPageTypesetTest, OnlyKnownLanguagesOfUpTo100KBAreHighlighted) {
    const QString longLine = QStringLiteral("int x = 1;\n");
    const struct {
        const char* name;
        QString fence;
        QString code;
        bool highlighted;
    } cases[] = {
        {"C++", QStringLiteral("cpp"), longLine, true},
        {"an alias", QStringLiteral("c++"), longLine, true},
        {"no language", QString(), longLine, false},
        {"an unknown language", QStringLiteral("nosuchlanguage"), longLine, false},
        {"a name the page's objects have", QStringLiteral("constructor"), longLine, false},
        {"over 100 KB", QStringLiteral("cpp"), longLine.repeated(102400 / longLine.size() + 1),
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        form->ResetChatView();
        // A formula after the block shows that typesetting went on past it.
        form->View().AddModelMessage(QStringLiteral("```%1\n%2```\n\n$y$").arg(c.fence, c.code));
        waitForTypeset(QStringLiteral(".katex"), 1);
        EXPECT_EQ(count(QStringLiteral("pre code.hljs")), c.highlighted ? 1 : 0);
        EXPECT_EQ(count(QStringLiteral("pre code span")) > 0, c.highlighted);
        EXPECT_EQ(evaluateText(QStringLiteral("document.querySelector('pre').innerText")), c.code);
    }
}

} // namespace
