#include "app/PdfPrinter.h"

#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QTemporaryDir>
#include <QUrl>
#include <QWebEnginePage>

#include <memory>

namespace {

// The document goes through a file: a page given its HTML directly takes at most 2 MB.
class PrintJob : public QWebEnginePage {
public:
    PrintJob(QObject* parent, std::function<void(const QByteArray&)> done)
        : QWebEnginePage(parent), m_done(std::move(done)) {}

    void Start(const QString& html) {
        const QString path = m_folder.filePath(QStringLiteral("chat.html"));
        QFile file(path);
        if (!m_folder.isValid() || !file.open(QIODevice::WriteOnly) ||
            file.write(html.toUtf8()) < 0) {
            Finish({});
            return;
        }
        file.close();
        connect(this, &QWebEnginePage::loadFinished, this, [this](bool loaded) {
            if (!loaded) {
                Finish({});
                return;
            }
            printToPdf([this](const QByteArray& pdf) { Finish(pdf); },
                       QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                   QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter));
        });
        load(QUrl::fromLocalFile(path));
    }

private:
    void Finish(const QByteArray& pdf) {
        if (m_done)
            std::exchange(m_done, {})(pdf);
        deleteLater();
    }

    QTemporaryDir m_folder;
    std::function<void(const QByteArray&)> m_done;
};

} // namespace

void PrintHtmlToPdf(const QString& html, QObject* parent,
                    std::function<void(const QByteArray&)> done) {
    auto* job = new PrintJob(parent, std::move(done));
    job->Start(html);
}
