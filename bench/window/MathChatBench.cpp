// Opening a 500-message chat whose 250 answers (the corpus's prose) carry 1,000 formulas
// and 500 code blocks, beside the same chat with the formulas and code removed: the page
// typesets formulas with KaTeX and highlights code as the conversation is shown.
#include "BenchWindow.h"
#include "app/ChatPage.h"

#include <QEventLoop>

#include <benchmark/benchmark.h>

namespace {

constexpr int kMessages = 500;

// The prose of the 2–20 KB model answers of the Markdown corpus: their fenced code and
// every dollar sign and backslash taken out, so that they hold no formula and no code.
QStringList loadProse() {
    QStringList answers;
    for (const QString& answer : CorpusAnswers()) {
        QString prose;
        bool inFence = false;
        for (const QString& line : answer.split(u'\n')) {
            if (line.trimmed().startsWith(QStringLiteral("```"))) {
                inFence = !inFence;
                continue;
            }
            if (!inFence)
                prose += QString(line).remove(u'$').remove(u'\\') + u'\n';
        }
        answers.append(prose);
    }
    return answers;
}

// Four formulas (two inline, one $$…$$, one \[…\]) and two fenced blocks in two
// languages, the part an answer loses when formulas and code are removed.
QString mathAndCode(int number) {
    return QStringLiteral(
               "\n\nПусть $a_{%1} = \\frac{1}{k^2}$ и $S_n = \\sum_{k=1}^{n} a_k$.\n\n"
               "$$\\sum_{k=1}^{\\infty} \\frac{1}{k^2} = \\frac{\\pi^2}{6}$$\n\n"
               "\\[\\int_{n}^{\\infty} \\frac{dx}{x^2} = \\frac{1}{n}, \\quad "
               "\\sqrt{x^2 + y^2} \\le |x| + |y|\\]\n\n"
               "```cpp\n// Partial sum %1.\ndouble partialSum(int n) {\n    double sum = 0;\n"
               "    for (int k = 1; k <= n; ++k)\n        sum += 1.0 / (double(k) * k);\n"
               "    return sum;\n}\n```\n\n"
               "```python\ndef tail(n):\n    return sum(1 / k**2 for k in range(n, 10**6))\n"
               "```\n")
        .arg(number);
}

TChatHistory conversation(const QStringList& prose, bool withMathAndCode) {
    TChatHistory history;
    for (int i = 0; i < kMessages; ++i) {
        if (i % 2 == 0) {
            history.append(
                {QStringLiteral("user"),
                 {MakeTextPart(QStringLiteral("Вопрос %1: как посчитать сумму?").arg(i / 2))}});
            continue;
        }
        QString answer = prose[(i / 2) % prose.size()];
        if (withMathAndCode)
            answer += mathAndCode(i / 2);
        history.append({QStringLiteral("model"), {MakeTextPart(answer)}});
    }
    return history;
}

// Waits until the page's libraries have loaded and every formula in the view is typeset.
void waitForTypesetAndLayout(ChatPage& page) {
    bool parsed = false;
    while (!parsed) {
        QEventLoop loop;
        page.Evaluate(
            QStringLiteral("typeof katex == 'object' && typeof hljs == 'object' && "
                           "Array.from(document.querySelectorAll('.math-inline, .math-display'))"
                           ".filter(e => { var r = e.getBoundingClientRect(); return r.top < "
                           "innerHeight && r.bottom > 0; })"
                           ".every(e => e.querySelector('.katex, .katex-error'))"),
            [&](const QVariant& result) {
                parsed = result.toBool();
                loop.quit();
            });
        loop.exec();
    }
    WaitForLayout(page);
}

void BM_OpenMathChat(benchmark::State& state) {
    static const QStringList prose = loadProse();
    if (prose.isEmpty()) {
        state.SkipWithError("no answers of 2-20 KB in the corpus");
        return;
    }
    const bool withMathAndCode = state.range(0) != 0;
    BenchWindow& w = ShownWindow();
    w.geminiDM.SetChatHistory(conversation(prose, withMathAndCode));
    const double cpuBefore = CpuSecondsWithChildren();
    for (auto _ : state) {
        w.form.ResetChatView();
        w.form.View().RenderHistory();
        waitForTypesetAndLayout(w.form.View().Page());
    }
    state.counters["cpu_ms_all_processes"] =
        (CpuSecondsWithChildren() - cpuBefore) * 1000 / double(state.iterations());
    state.SetLabel(withMathAndCode ? "1000 formulas, 500 code blocks"
                                   : "formulas and code removed");
}
BENCHMARK(BM_OpenMathChat)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
