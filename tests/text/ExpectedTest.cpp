#include "text/Expected.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace {

using namespace Qt::StringLiterals;

// A failure that says more than its message, as a request's does.
struct Refusal {
    int Code = 0;
    QString Text;
};

Expected<int> parsed(const QString& text) {
    bool ok = false;
    const int number = text.toInt(&ok);
    if (!ok)
        return Failure(u"«%1» не число"_s.arg(text));
    return number;
}

Expected<QStringList, Refusal> listed(int code) {
    if (code != 200)
        return Failure(Refusal{code, u"refused"_s});
    return QStringList{u"a"_s, u"b"_s};
}

Expected<void, Refusal> checked(int code) {
    if (code != 200)
        return Failure(Refusal{code, u"refused"_s});
    return {};
}

TEST(Expected, AValueOrTheMessageToShow) {
    const struct {
        QString text;
        bool hasValue;
        int value;
        QString error;
    } cases[] = {
        {u"42"_s, true, 42, {}},
        {u"x"_s, false, 0, u"«x» не число"_s},
        {{}, false, 0, u"«» не число"_s},
    };
    for (const auto& c : cases) {
        const Expected<int> result = parsed(c.text);
        EXPECT_EQ(result.has_value(), c.hasValue) << c.text.toStdString();
        EXPECT_EQ(bool(result), c.hasValue) << c.text.toStdString();
        // The message is empty when there is a value, so it can be shown either way.
        EXPECT_EQ(result.error(), c.error) << c.text.toStdString();
        if (c.hasValue) {
            EXPECT_EQ(*result, c.value);
        }
    }
    // A failure of anything a message can be made from is a message.
    const Expected<QString> latin = Failure("plain"_L1);
    EXPECT_EQ(latin.error(), u"plain"_s);
    const Expected<void> none = Failure(u"нет"_s);
    EXPECT_FALSE(none.has_value());
    EXPECT_EQ(none.error(), u"нет"_s);
    EXPECT_EQ(Expected<void>().error(), QString());
}

TEST(Expected, ATypedFailureKeepsEverythingItSays) {
    const Expected<QStringList, Refusal> refused = listed(403);
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().Code, 403);
    EXPECT_EQ(refused.error().Text, u"refused"_s);

    Expected<QStringList, Refusal> models = listed(200);
    ASSERT_TRUE(models.has_value());
    models->append(u"c"_s);
    EXPECT_EQ(*models, (QStringList{u"a"_s, u"b"_s, u"c"_s}));
    // With a value the failure reads as the empty one.
    EXPECT_EQ(models.error().Code, 0);
    EXPECT_TRUE(models.error().Text.isEmpty());
    EXPECT_EQ(std::move(models).value().size(), 3);

    for (const int code : {200, 500}) {
        const Expected<void, Refusal> result = checked(code);
        EXPECT_EQ(result.has_value(), code == 200);
        EXPECT_EQ(result.error().Code, code == 200 ? 0 : code);
    }
}

TEST(Expected, DefaultsToAValueWhenTheValueHasADefault) {
    const Expected<QStringList, Refusal> empty;
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->isEmpty());
    // The error of a temporary is a value of its own.
    const Refusal refusal = listed(404).error();
    EXPECT_EQ(refusal.Code, 404);
}

} // namespace
