#include "app/WindowPlacement.h"

#include <gtest/gtest.h>

namespace {

constexpr QSize kDesign(1089, 799);
constexpr QSize kMinimum(760, 520);

TEST(WindowPlacement, AFirstWindowFitsTheScreenItOpensOn) {
    struct Case {
        const char* name;
        QRect available;
        QRect expected;
    };
    const Case cases[] = {
        {"room to spare", {0, 0, 1920, 1080}, {415, 140, 1089, 799}},
        {"a panel above", {0, 40, 1920, 1040}, {415, 160, 1089, 799}},
        // 1920×1080 at a scale factor of 2.
        {"scaled twice", {0, 0, 960, 540}, {24, 10, 912, 520}},
        {"a second screen to the left", {-1280, 0, 1280, 1024}, {-1184, 112, 1089, 799}},
        // Smaller than the window can be: its top left corner stays on the screen.
        {"smaller than the smallest window", {0, 0, 640, 480}, {0, 0, 760, 520}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FirstWindowGeometry(c.available, kDesign, kMinimum), c.expected) << c.name;
}

} // namespace
