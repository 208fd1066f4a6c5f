#include "MarkdownTestSupport.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

TEST(Configuration, StartsWithTheDefaults) {
    const TConfiguration config(false);
    EXPECT_EQ(config.Dialect(), mdClassic);
    EXPECT_FALSE(config.safeMode());
    EXPECT_TRUE(TConfiguration(true).safeMode());
    EXPECT_TRUE(config.allowSpacesInFencedDelimiters());
    EXPECT_FALSE(config.panicMode());
    EXPECT_EQ(config.codeBlockEmitter(), nullptr);
    EXPECT_EQ(config.specialLinkEmitter(), nullptr);
    ASSERT_NE(config.decorator(), nullptr);
}

TEST(Configuration, TellsItsDialectFromASet) {
    TConfiguration config(true);
    for (auto dialect : {mdClassic, mdRich, mdExtended}) {
        config.SetDialect(dialect);
        EXPECT_EQ(config.isDialect({mdRich, mdExtended}), dialect != mdClassic);
    }
}

TEST(CreateDialect, MakesTheThreeDialectsAndRefusesOthers) {
    EXPECT_EQ(TMarkdownProcessor::CreateDialect(mdClassic)->config().Dialect(), mdClassic);
    EXPECT_EQ(TMarkdownProcessor::CreateDialect(mdRich)->config().Dialect(), mdRich);
    EXPECT_EQ(TMarkdownProcessor::CreateDialect(mdExtended)->config().Dialect(), mdExtended);
    try {
        TMarkdownProcessor::CreateDialect(TMarkdownProcessorDialect(3));
        FAIL() << "no error for dialect 3";
    } catch (const std::invalid_argument& error) {
        EXPECT_STREQ(error.what(), "Unknown Markdown dialect");
    }
}

TEST(Processor, IsSafeUntilUnsafeIsAllowed) {
    const auto converter = TMarkdownProcessor::CreateDialect(mdRich);
    EXPECT_FALSE(converter->AllowUnsafe());
    EXPECT_EQ(converter->Process(u"<iframe src=x></iframe> <b>ok</b>"_s),
              u"<p>&lt;iframe src=x>&lt;/iframe> <b>ok</b></p>\n"_s);
    converter->setAllowUnsafe(true);
    EXPECT_TRUE(converter->AllowUnsafe());
    EXPECT_FALSE(converter->config().safeMode());
    EXPECT_EQ(
        converter->Process(u"<iframe src=x></iframe>\n\n<div>\n<script>x()</script>\n</div>"_s),
        u"<p><iframe src=x></iframe></p>\n<div>\n<script>x()</script>\n</div>\n"_s);
}

TEST(Processor, KeepsDefinitionsBetweenCalls) {
    const auto converter = TMarkdownProcessor::CreateDialect(mdRich);
    EXPECT_EQ(converter->Process(u"[x]: /a"_s), u""_s);
    EXPECT_EQ(converter->Process(u"[x]"_s), u"<p><a href=\"/a\">x</a></p>\n"_s);
    EXPECT_EQ(convert(mdRich, u"[x]"_s), u"<p>[x]</p>\n"_s);
}

// The switch governs the whole text, lines above it included, and stays for later calls.
TEST(Processor, ProfileSwitchTurnsRichIntoExtended) {
    const auto converter = TMarkdownProcessor::CreateDialect(mdRich);
    EXPECT_EQ(converter->Process(u"| A | B |\n|---|---|\n| 1 | 2 |\n\n[$Profile$]: EXTENDED"_s),
              u"<p>| A | B |\n|&mdash;|&mdash;|\n| 1 | 2 |</p>\n"_s);
    EXPECT_EQ(converter->config().Dialect(), mdExtended);
    EXPECT_EQ(converter->Process(u"~~x~~ $a$"_s), u"<p>~~x~~ $a$</p>\n"_s);

    const auto other = TMarkdownProcessor::CreateDialect(mdRich);
    EXPECT_EQ(other->Process(u"[$profile$]: classic\n\n~~x~~"_s), u"<p><del>x</del></p>\n"_s);
    EXPECT_EQ(other->config().Dialect(), mdRich);
}

TEST(Processor, PanicModeEscapesEveryAngleBracket) {
    const auto converter = TMarkdownProcessor::CreateDialect(mdRich);
    converter->config().setPanicMode(true);
    EXPECT_EQ(converter->Process(u"<div>\n<b>x</b>"_s), u"<p>&lt;div>\n&lt;b>x&lt;/b></p>\n"_s);
    // A "<" counts four columns, as its replacement does, for the tab that follows.
    EXPECT_EQ(converter->Process(u"a long line\x01 with <b> and\ttab"_s),
              u"<p>a long line\x01 with &lt;b> and    tab</p>\n"_s);
}

class ListingEmitter : public TBlockEmitter {
public:
    void emitBlock(QString& out, const QStringList& lines, const QString& meta) override {
        out += u"["_s + meta + u"]"_s + lines.join(u'|') + u"\n"_s;
    }
};

TEST(Processor, HandsCodeBlocksToTheCodeBlockEmitter) {
    const auto converter = TMarkdownProcessor::CreateDialect(mdRich);
    converter->config().setCodeBlockEmitter(std::make_unique<ListingEmitter>());
    EXPECT_EQ(converter->Process(u"```py\na\n\nb\n```\n\n    c\n    d"_s), u"[py]a||b\n[]c|d\n"_s);
}

TEST(Processor, ConvertsAFileInItsEncoding) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"answer.md"_s);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(u"# Заголовок\r\n\r\n*текст*"_s.toUtf8());
    file.close();
    const auto converter = TMarkdownProcessor::CreateDialect(mdRich);
    EXPECT_EQ(converter->ProcessFile(path, QStringConverter::Utf8).value(),
              u"<h1>Заголовок</h1>\n<p><em>текст</em></p>\n"_s);
    EXPECT_FALSE(converter->ProcessFile(dir.filePath(u"missing.md"_s), QStringConverter::Utf8));
}

// A realistic answer, traced by hand through the stages.
TEST(Processor, ConvertsAModelAnswer) {
    const QString answer = u"## Установка {#install}\n"
                           "\n"
                           "Сначала поставьте **пакет** и проверьте `версию`:\n"
                           "\n"
                           "1. Скачайте [архив](https://example.com/a.zip \"Архив\").\n"
                           "2. Распакуйте:\n"
                           "    - в `~/bin`;\n"
                           "    - или в *другое* место.\n"
                           "\n"
                           "```bash\n"
                           "tar -xf a.zip && echo \"ok\"\n"
                           "```\n"
                           "\n"
                           "> Формула площади: $S=\\pi{r^2}$ -- запомните...\n"_s;
    EXPECT_EQ(convert(mdRich, answer),
              u"<h2 id=\"install\">Установка</h2>\n"
              "<p>Сначала поставьте <strong>пакет</strong> и проверьте <code>версию</code>:</p>\n"
              "<ol>\n"
              "<li>Скачайте <a href=\"https://example.com/a.zip\" title=\"Архив\">архив</a>.</li>\n"
              "<li>Распакуйте:<ul>\n"
              "<li>в <code>~/bin</code>;</li>\n"
              "<li>или в <em>другое</em> место.</li>\n"
              "</ul>\n"
              "</li>\n"
              "</ol>\n"
              "<pre><code class=\"bash\">tar -xf a.zip &amp;&amp; echo \"ok\"\n"
              "</code></pre>\n"
              "<blockquote><p>Формула площади: <img src=\"https://chart.googleapis.com/chart?"
              "cht=tx&chl=S=\\pi{r^2}\" alt=\"S=\\pi{r^2} \"/> &ndash; запомните&hellip;</p>\n"
              "</blockquote>\n"_s);
}

} // namespace
