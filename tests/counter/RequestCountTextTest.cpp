#include "RequestCountText.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// The counter's -1 never reaches the window: a blank choice has sent nothing today.
TEST(RequestCountText, ShowsNoMinusOne) {
    const struct {
        QString key;
        QString model;
        int count;
        QString shown;
    } cases[] = {
        {QString(), u"gemini-2.5-pro"_s, -1, u"0"_s},
        {u" \t"_s, u"gemini-2.5-pro"_s, -1, u"0"_s},
        {u"k"_s, QString(), -1, u"0"_s},
        {u"k"_s, u"gemini-2.5-pro"_s, -1, u"?"_s},
        {u"k"_s, u"gemini-2.5-pro"_s, 0, u"0"_s},
        {u"k"_s, u"gemini-2.5-pro"_s, 12, u"12"_s},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RequestCountText(c.key, c.model, c.count), c.shown)
            << c.key.toStdString() << "|" << c.model.toStdString() << "|" << c.count;
}

} // namespace
