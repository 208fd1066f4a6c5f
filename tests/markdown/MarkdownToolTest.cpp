#include "MarkdownTestSupport.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

struct ToolRun {
    int exitCode;
    QByteArray out;
    QByteArray err;
};

ToolRun runTool(const QStringList& arguments, const QByteArray& input = {},
                const QString& outputFile = {}) {
    QProcess tool;
    if (!outputFile.isEmpty())
        tool.setStandardOutputFile(outputFile);
    tool.start(QStringLiteral(TOVIK_MD_PATH), arguments);
    tool.write(input);
    tool.closeWriteChannel();
    tool.waitForFinished(30000);
    return {tool.exitCode(), tool.readAllStandardOutput(), tool.readAllStandardError()};
}

const QByteArray kAnswer = u"# Ответ\n\nСм. `код` и **жирный** текст -- вот так.\n"_s.toUtf8();

TEST(TovikMd, ConvertsStandardInputAsUtf8) {
    const ToolRun run = runTool({}, kAnswer);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(QString::fromUtf8(run.out),
              u"<h1>Ответ</h1>\n<p>См. <code>код</code> и <strong>жирный</strong> текст "
              u"&ndash; вот так.</p>\n"_s);
}

TEST(TovikMd, ConvertsAFileInTheChosenDialect) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"answer.md"_s);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(kAnswer);
    file.close();
    const ToolRun run = runTool({u"--dialect"_s, u"0"_s, path});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(QString::fromUtf8(run.out),
              u"<h1>Ответ</h1>\n<p>См. <code>код</code> и <strong>жирный</strong> текст -- "
              u"вот так.</p>\n"_s);
    EXPECT_EQ(runTool({dir.filePath(u"missing.md"_s)}).exitCode, 1);
}

TEST(TovikMd, WritesFormulasInTheChosenMathMode) {
    const QByteArray formula = "$x^2$\n";
    EXPECT_EQ(runTool({u"--math"_s, u"local"_s}, formula).out,
              "<p><span class=\"math-inline\">x^2</span></p>\n");
    EXPECT_TRUE(runTool({u"--math"_s, u"image"_s}, formula).out.startsWith("<p><img src="));
    EXPECT_EQ(runTool({}, formula).out, runTool({u"--math"_s, u"image"_s}, formula).out);
}

// --answers is the chat page's converter, whatever the answer holds.
TEST(TovikMd, ConvertsAnswersAsTheChatPageDoes) {
    const QByteArray answer =
        u"1. Шаг\n   - вложенный [^1]\n\n~~нет~~ см. www.example.com $x$\n\n[^1]: сноска\n"_s
            .toUtf8();
    const ToolRun run = runTool({u"--answers"_s}, answer);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(QString::fromUtf8(run.out),
              TMarkdownProcessor::CreateForAnswers()->Process(QString::fromUtf8(answer)));
    EXPECT_TRUE(run.out.contains("<li>вложенный <sup class=\"footnote-ref\">"));
}

// The output goes out in slices; a long answer whose surrogate pairs straddle a slice's end
// must come out exactly as the whole answer encodes.
TEST(TovikMd, WritesALongAnswerWhole) {
    QString answer;
    for (int i = 0; i < 40000; ++i)
        answer += u"\U0001F600"_s;
    answer += u"\nИ ещё **строка**.\n"_s;
    const ToolRun run = runTool({}, answer.toUtf8());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out == convert(mdRich, answer).toUtf8());
}

TEST(TovikMd, RefusesTextCutOffInACharacter) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"cut.md"_s);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const QByteArray cut = kAnswer + QByteArray("\xD0");
    file.write(cut);
    file.close();
    for (const ToolRun& run : {runTool({path}), runTool({}, cut)}) {
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_TRUE(run.err.startsWith("tovik-md: ")) << run.err.toStdString();
    }
}

TEST(TovikMd, FailsWhenTheOutputCannotBeWritten) {
    const ToolRun run = runTool({}, kAnswer, u"/dev/full"_s);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, QByteArray("tovik-md: cannot write standard output\n"));
}

TEST(TovikMd, RefusesBadOptionsWithUsage) {
    for (const QStringList& arguments :
         {QStringList{u"--dialect"_s, u"3"_s}, QStringList{u"--dialect"_s}, QStringList{u"-x"_s},
          QStringList{u"a.md"_s, u"b.md"_s}, QStringList{u"--math"_s, u"tex"_s},
          QStringList{u"--answers"_s, u"--dialect"_s, u"1"_s}}) {
        const ToolRun run = runTool(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments.join(u' ').toStdString();
        EXPECT_TRUE(run.err.startsWith("usage: tovik-md")) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
}

TEST(TovikMd, PrintsItsVersion) {
    const ToolRun run = runTool({u"--version"_s});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, QByteArray("tovik-md " TOVIK_VERSION "\n"));
}

} // namespace
