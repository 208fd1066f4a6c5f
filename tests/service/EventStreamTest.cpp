#include "service/EventStream.h"

#include <QByteArrayList>

#include <gtest/gtest.h>

namespace {

QByteArrayList eventsOf(const QList<QByteArrayView>& pieces) {
    QByteArrayList events;
    EventStreamReader reader([&events](const QByteArray& data) { events << data; });
    for (QByteArrayView piece : pieces)
        reader.feed(piece);
    return events;
}

TEST(EventStreamReader, SplitsLinesAtAnyLineEndWhereverTheBytesBreak) {
    const QByteArray stream = "data: one\r\n\r\n"
                              "Data:two\r\rdata:\t three \n"
                              "event: x\n"
                              "data: -four\n\r\n"
                              ": comment\n\n\n"
                              "DATA:five\r\n \r\n"
                              "data: lost";
    const QByteArrayList expected = {"one", "two", "three-four", "five"};

    EXPECT_EQ(eventsOf({stream}), expected);
    for (qsizetype cut = 0; cut <= stream.size(); ++cut) {
        const QByteArrayView whole(stream);
        EXPECT_EQ(eventsOf({whole.first(cut), whole.sliced(cut)}), expected) << "cut at " << cut;
    }
    QList<QByteArrayView> bytes;
    for (qsizetype i = 0; i < stream.size(); ++i)
        bytes << QByteArrayView(stream).sliced(i, 1);
    EXPECT_EQ(eventsOf(bytes), expected);
}

TEST(EventStreamReader, CarriageReturnThenLineFeedInTheNextPieceIsOneLineEnd) {
    // Were the LF taken for a line of its own, "b" would be split off from "a".
    EXPECT_EQ(eventsOf({"data: a\r", "\ndata: b\r", "", "\n\r", "\n"}), QByteArrayList{"ab"});
}

} // namespace
