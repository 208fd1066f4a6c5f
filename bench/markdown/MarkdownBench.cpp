// Converts the corpus of model answers with our converter, cmark and md4c in one run and
// reports MB/s for each and our ratio to each; then times the hostile inputs.
#include "AdversarialInputs.h"
#include "markdown/MarkdownProcessor.h"

#include <benchmark/benchmark.h>
#include <cmark.h>
#include <md4c-html.h>

#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

struct Corpus {
    std::vector<QByteArray> utf8;
    std::vector<QString> text;
    qint64 bytes = 0;
};

Corpus& corpus() {
    static Corpus corpus;
    return corpus;
}

void loadCorpus(const QString& folder) {
    const QDir dir(folder);
    for (const QString& name : dir.entryList({QStringLiteral("*.md")}, QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = file.readAll();
        corpus().utf8.push_back(bytes);
        corpus().text.push_back(QString::fromUtf8(bytes));
        corpus().bytes += bytes.size();
    }
}

// The program's own path: a QString answer in, a QString fragment out, one converter each.
void BM_Ours(benchmark::State& state) {
    for (auto _ : state) {
        for (const QString& text : corpus().text) {
            const QString html = TMarkdownProcessor::CreateDialect(mdRich)->Process(text);
            benchmark::DoNotOptimize(html.constData());
        }
    }
    state.SetBytesProcessed(state.iterations() * corpus().bytes);
}

// The chat page's converter: the rich dialect in answer mode.
void BM_Answers(benchmark::State& state) {
    for (auto _ : state) {
        for (const QString& text : corpus().text) {
            const QString html = TMarkdownProcessor::CreateForAnswers()->Process(text);
            benchmark::DoNotOptimize(html.constData());
        }
    }
    state.SetBytesProcessed(state.iterations() * corpus().bytes);
}

// The same with the UTF-8 decoding and encoding the peers do not need.
void BM_OursFromUtf8(benchmark::State& state) {
    for (auto _ : state) {
        for (const QByteArray& bytes : corpus().utf8) {
            const QByteArray html = TMarkdownProcessor::CreateDialect(mdRich)
                                        ->Process(QString::fromUtf8(bytes))
                                        .toUtf8();
            benchmark::DoNotOptimize(html.constData());
        }
    }
    state.SetBytesProcessed(state.iterations() * corpus().bytes);
}

void BM_Cmark(benchmark::State& state) {
    for (auto _ : state) {
        for (const QByteArray& bytes : corpus().utf8) {
            char* html = cmark_markdown_to_html(bytes.constData(), std::size_t(bytes.size()),
                                                CMARK_OPT_DEFAULT);
            benchmark::DoNotOptimize(html);
            std::free(html);
        }
    }
    state.SetBytesProcessed(state.iterations() * corpus().bytes);
}

void appendOutput(const MD_CHAR* text, MD_SIZE size, void* userdata) {
    static_cast<std::string*>(userdata)->append(text, size);
}

void BM_Md4c(benchmark::State& state) {
    std::string html;
    for (auto _ : state) {
        for (const QByteArray& bytes : corpus().utf8) {
            html.clear();
            md_html(bytes.constData(), MD_SIZE(bytes.size()), appendOutput, &html,
                    MD_DIALECT_GITHUB, 0);
            benchmark::DoNotOptimize(html.data());
        }
    }
    state.SetBytesProcessed(state.iterations() * corpus().bytes);
}

void BM_Adversarial(benchmark::State& state, const std::function<QString()>& make, bool answers) {
    const QString text = make();
    for (auto _ : state) {
        const QString html = (answers ? TMarkdownProcessor::CreateForAnswers()
                                      : TMarkdownProcessor::CreateDialect(mdRich))
                                 ->Process(text);
        benchmark::DoNotOptimize(html.constData());
    }
    state.SetBytesProcessed(state.iterations() * text.size() * 2);
    state.counters["input_KiB"] = double(text.size()) / 1024;
}

// Remembers the throughput of every run to print the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        // With repetitions the median stands for the benchmark.
        for (const Run& run : runs) {
            const auto it = run.counters.find("bytes_per_second");
            if (it == run.counters.end())
                continue;
            if (run.aggregate_name.empty() || run.aggregate_name == "median")
                m_rates[run.run_name.function_name] = it->second.value;
        }
    }
    void printRatios() const {
        const auto rate = [this](const char* name) {
            const auto it = m_rates.find(name);
            return it == m_rates.end() ? 0.0 : it->second;
        };
        const double ours = rate("BM_Ours");
        const double oursUtf8 = rate("BM_OursFromUtf8");
        const double cmark = rate("BM_Cmark");
        const double md4c = rate("BM_Md4c");
        const double answers = rate("BM_Answers");
        if (ours == 0 || cmark == 0 || md4c == 0)
            return;
        std::printf("\nCorpus: %zu answers, %.1f KiB (UTF-8)\n", corpus().utf8.size(),
                    double(corpus().bytes) / 1024);
        std::printf("  ours  %8.1f MB/s   (with UTF-8 decode/encode %8.1f MB/s)\n", ours / 1e6,
                    oursUtf8 / 1e6);
        if (answers != 0)
            std::printf("  answer mode %8.1f MB/s   answers/ours %.2f (goal >= 0.85)\n",
                        answers / 1e6, answers / ours);
        std::printf("  cmark %8.1f MB/s   ours/cmark %.2f (goal >= 1.00)\n", cmark / 1e6,
                    ours / cmark);
        std::printf("  md4c  %8.1f MB/s   ours/md4c  %.2f (goal >= 0.50)\n", md4c / 1e6,
                    ours / md4c);
    }

private:
    std::map<std::string, double> m_rates;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    QString folder = QStringLiteral(TOVIK_MARKDOWN_CORPUS);
    if (argc > 1)
        folder = QString::fromLocal8Bit(argv[1]);
    loadCorpus(folder);
    if (corpus().utf8.empty()) {
        std::fprintf(stderr, "no Markdown files in %s\n", qPrintable(folder));
        return 1;
    }
    benchmark::RegisterBenchmark("BM_Ours", BM_Ours)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_Answers", BM_Answers)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_OursFromUtf8", BM_OursFromUtf8)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_Cmark", BM_Cmark)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_Md4c", BM_Md4c)->Unit(benchmark::kMillisecond);
    for (const bool answers : {false, true}) {
        const QString group = answers ? QStringLiteral("AdversarialAnswers/")
                                      : QStringLiteral("Adversarial/");
        for (const auto& [name, make] : adversarialInputs())
            benchmark::RegisterBenchmark((group + name).toStdString().c_str(), BM_Adversarial,
                                         make, answers)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(1);
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
