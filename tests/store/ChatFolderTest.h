#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// A temporary folder of chat files, "chat.json" unless named otherwise, written and read
// as bytes.
class ChatFolderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString path(const QString& name = QStringLiteral("chat.json")) const {
        return dir.filePath(name);
    }

    void writeFile(const QByteArray& bytes, const QString& name = QStringLiteral("chat.json")) const {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    QByteArray readFile(const QString& name = QStringLiteral("chat.json")) const {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir;
};
