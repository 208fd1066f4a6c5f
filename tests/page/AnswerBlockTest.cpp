// A model message on the page: thoughts folded above, every part in its place, a note when
// it stopped early, and one list of the pages it names.
#include "page/AnswerBlock.h"
#include "page/ChatExport.h"
#include "page/MessageBlocks.h"

#include <gtest/gtest.h>

namespace {

using namespace Qt::StringLiterals;

THistoryItem answer(TContentParts parts, const QString& finishReason = {}) {
    THistoryItem item{u"model"_s, std::move(parts)};
    item.FinishReason = finishReason;
    return item;
}

TContentPart thoughtPart(const QString& text) {
    TContentPart part = MakeTextPart(text);
    part.Thought = true;
    return part;
}

TContentPart objectPart(TPartType type, const QString& json) {
    TContentPart part;
    part.PartType = type;
    part.Text = json;
    return part;
}

// Each piece is on the page, in this order.
void expectInOrder(const QString& html, const QStringList& pieces) {
    qsizetype from = 0;
    for (const QString& piece : pieces) {
        const qsizetype at = html.indexOf(piece, from);
        EXPECT_GE(at, 0) << piece.toStdString() << " after " << from << " in "
                         << html.toStdString();
        from = at < 0 ? from : at + piece.size();
    }
}

TEST(AnswerBlock, ShowsEveryPartInItsPlace) {
    struct Case {
        const char* name;
        THistoryItem item;
        QStringList pieces;
        QStringList absent;
    };
    const Case cases[] = {
        {"thoughts folded above the answer, never in it",
         answer({thoughtPart(u"Думаю **так**"_s), MakeTextPart(u"Ответ"_s)}),
         {u"<details class=\"thoughts\"><summary>Размышления</summary>"_s,
          u"<strong>так</strong>"_s, u"</details>"_s, u"<p>Ответ</p>"_s},
         {}},
        {"a picture between two texts",
         answer({MakeTextPart(u"до"_s), MakeInlinePart(u"image/png"_s, "iVBO"),
                 MakeTextPart(u"после"_s)}),
         {u"<p>до</p>"_s, u"src=\"data:image/png;base64,iVBO\""_s, u"<p>после</p>"_s},
         {u"Размышления"_s}},
        {"a function call with its arguments",
         answer({objectPart(TPartType::ptFunctionCall,
                            uR"({"args":{"city":"\u041C\u0438\u043D\u0441\u043A"},"name":"get_weather"})"_s)}),
         {u"Модель запросила вызов функции get_weather"_s, u"<code class=\"json\">"_s,
          u"&quot;city&quot;: &quot;Минск&quot;"_s},
         {}},
        {"code and what it printed",
         answer({objectPart(TPartType::ptExecutableCode,
                            uR"x({"code":"print(1 < 2)","language":"PYTHON"})x"_s),
                 objectPart(TPartType::ptCodeExecutionResult,
                            uR"({"outcome":"OUTCOME_OK","output":"True"})"_s)}),
         {u"<code class=\"python\">print(1 &lt; 2)</code>"_s,
          u"Результат выполнения (OUTCOME_OK):"_s, u">True</code>"_s},
         {}},
        {"cut at the length limit",
         answer({MakeTextPart(u"a"_s)}, u"MAX_TOKENS"_s),
         {u"<p>a</p>"_s, u"Ответ оборван: достигнут лимит длины ответа (MAX_TOKENS)"_s},
         {}},
        {"a reason the program does not know is named as it came",
         answer({MakeTextPart(u"a"_s)}, u"NEW_REASON"_s),
         {u"NEW_REASON"_s},
         {}},
        {"a normal end says nothing", answer({MakeTextPart(u"a"_s)}, u"STOP"_s), {}, {u"stop-note"_s}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString html = BuildModelItemHtml(c.item);
        expectInOrder(html, c.pieces);
        for (const QString& absent : c.absent)
            EXPECT_FALSE(html.contains(absent));
    }
}

TEST(AnswerBlock, OffersToGoOnOnlyWhereTheAnswerCanGoOn) {
    const AnswerFooting footing{.ContinueToken = u"t1"_s, .Details = u"Исключение: <x>"_s};
    const QString cut = BuildModelItemHtml(answer({MakeTextPart(u"a"_s)}, u"MAX_TOKENS"_s), footing);
    EXPECT_TRUE(cut.contains(u"href=\"#continue-t1\">Продолжить</a>"_s));
    EXPECT_TRUE(cut.contains(u"<summary>Подробнее</summary><div class=\"failure-text\">"
                             u"Исключение: &lt;x&gt;</div>"_s));
    const QString unsafe = BuildModelItemHtml(answer({MakeTextPart(u"a"_s)}, u"SAFETY"_s), footing);
    EXPECT_TRUE(unsafe.contains(u"Ответ остановлен фильтром безопасности (SAFETY)"_s));
    EXPECT_FALSE(unsafe.contains(u"Продолжить"_s));
    // A chat opened again shows the note without the link.
    EXPECT_FALSE(BuildModelItemHtml(answer({MakeTextPart(u"a"_s)}, u"MAX_TOKENS"_s))
                     .contains(u"Продолжить"_s));
}

TEST(AnswerBlock, SourcesAndCitationsAreOneListWithEachAddressOnce) {
    THistoryItem item = answer({MakeTextPart(u"a"_s)});
    item.Sources = {{u"A"_s, u"https://a.example/"_s}};
    item.Citations = {{u"https://a.example/"_s, {}, 0, 1},
                      {u"https://c.example/"_s, u"mit"_s, 0, 1},
                      {u"https://c.example/"_s, u"mit"_s, 2, 3}};
    const QString html = BuildModelItemHtml(item);
    EXPECT_EQ(html.count(u"<li>"_s), 2);
    expectInOrder(html, {u"<a href=\"https://a.example/\">A</a>"_s,
                         u"<a href=\"https://c.example/\">https://c.example/ (лицензия: mit)</a>"_s});
}

TEST(AnswerBlock, TheExportTellsWhatThePageShows) {
    THistoryItem item = answer({thoughtPart(u"Think"_s), MakeTextPart(u"Answer"_s),
                                objectPart(TPartType::ptExecutableCode,
                                           uR"({"code":"a```b","language":"PYTHON"})"_s)},
                               u"MAX_TOKENS"_s);
    item.Citations = {{u"https://c.example/"_s, {}, 0, 1}};
    const QString markdown = ConversationMarkdown({item});
    expectInOrder(markdown, {u"<details><summary>Размышления</summary>\n\nThink"_s, u"Answer"_s,
                             u"````python\na```b\n````"_s, u"(MAX_TOKENS)"_s,
                             u"1. [https://c.example/](https://c.example/)"_s});
}

} // namespace
