// Refreshing the model list in the real window from a loopback service that lists 200,000
// models: the time from "Обновить список моделей" to the status bar's "обновлён", and the
// longest the window's thread went without handling its events meanwhile. The list keeps
// what Models.txt can hold, and the message box saying how many names were left out is
// closed as soon as it shows.
#include "BenchWindow.h"
#include "FakeModelService.h"
#include "app/KeyModelPanel.h"
#include "store/WindowMemory.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>

namespace {

std::string modelListing(int count) {
    std::string json = R"({"models":[)";
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            json += ',';
        json += R"({"name":"models/gemini-exp-)" + std::to_string(i) +
                R"(-preview","supportedGenerationMethods":["generateContent"]})";
    }
    return json + "]}";
}

void BM_RefreshModelList(benchmark::State& state) {
    BenchWindow& w = ShownWindow();
    FakeModelService service;
    service.reply(FakeReply::json(modelListing(int(state.range(0)))));
    w.geminiDM.SetBaseUrl(QString::fromStdString(service.baseUrl()));
    w.form.findChild<QComboBox*>(QStringLiteral("editApiKey"))->setEditText(QStringLiteral("K"));
    auto* keyModel = w.form.findChild<KeyModelPanel*>(QStringLiteral("KeyModelPanel"));
    const QString modelsFile = w.form.Folders().inWorkingDir(QStringLiteral("Models.txt"));
    const WindowMemory nothingRemembered{QString()};
    double longestStallMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        {
            // Back to one model before each refresh.
            QFile models(modelsFile);
            models.open(QIODevice::WriteOnly);
            models.write("gemini-2.5-pro\r\n");
        }
        keyModel->LoadKeyAndModelLists(nothingRemembered);
        w.form.SetStatusText(QString());
        state.ResumeTiming();

        QEventLoop loop;
        QElapsedTimer sinceTick;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            longestStallMs = std::max(longestStallMs, double(sinceTick.nsecsElapsed()) / 1e6);
            sinceTick.start();
            if (QWidget* box = QApplication::activeModalWidget())
                box->close();
            if (w.form.StatusText().contains(QStringLiteral("обновлён")))
                loop.quit();
        });
        w.form.findChild<QAction*>(QStringLiteral("RefreshModelsItem"))->trigger();
        sinceTick.start();
        tick.start(1);
        loop.exec();
    }
    state.counters["longest_stall_ms"] = longestStallMs;
    state.counters["models_listed"] =
        double(w.form.findChild<QComboBox*>(QStringLiteral("cbModels"))->count());
}
BENCHMARK(BM_RefreshModelList)
    ->Arg(200000)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
