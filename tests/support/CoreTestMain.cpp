#include <QCoreApplication>

#include <gtest/gtest.h>

// Tests of code below the window still need an application object for
// threads, events and text codecs.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
