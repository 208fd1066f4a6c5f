#include "app/ExportTypesetter.h"

#include "store/TypesetFolders.h"
#include "text/WholeFile.h"

#include <QDir>
#include <QPageLayout>
#include <QPageSize>
#include <QTemporaryDir>
#include <QUrl>
#include <QUuid>
#include <QWebEnginePage>

#include <memory>

namespace {

// The typesetting page stays on its document and tells when it is done through its console.
class TypesettingPage : public QWebEnginePage {
public:
    std::function<void()> OnTypeset;

    explicit TypesettingPage(QString doneMessage) : m_doneMessage(std::move(doneMessage)) {}

protected:
    bool acceptNavigationRequest(const QUrl&, NavigationType type, bool isMainFrame) override {
        return isMainFrame && type == NavigationTypeTyped;
    }

    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }

    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int,
                                  const QString&) override {
        if (message == m_doneMessage && OnTypeset)
            std::exchange(OnTypeset, {})();
    }

private:
    const QString m_doneMessage;
};

// One export: the page, the file it is loaded from (TypesetFolders.h) and whom to tell. A web page
// calls back what it still owes while it is being destroyed, so the job is finished before its page
// goes and those calls find nothing to do.
class TypesetJob : public QObject {
public:
    TypesetJob(QObject* parent, ExportFormat format, QString title,
               std::function<void(const Expected<QByteArray>&)> done)
        : QObject(parent), m_format(format), m_title(std::move(title)), m_done(std::move(done)),
          m_doneMessage(QUuid::createUuid().toString(QUuid::WithoutBraces)),
          m_folder(TypesetFolderTemplate(QDir::tempPath())),
          m_page(std::make_unique<TypesettingPage>(m_doneMessage)) {}

    ~TypesetJob() override {
        m_done = {};
        m_page.reset();
    }

    TypesetJob(const TypesetJob&) = delete;
    TypesetJob& operator=(const TypesetJob&) = delete;

    void Start(const TChatHistory& history);

private:
    void Typeset();
    void Finish(const Expected<QByteArray>& bytes);

    const ExportFormat m_format;
    const QString m_title;
    std::function<void(const Expected<QByteArray>&)> m_done;
    const QString m_doneMessage;
    QTemporaryDir m_folder;
    std::unique_ptr<TypesettingPage> m_page;
};

const QString kNotTypeset = QStringLiteral("страница не обработалась");

void TypesetJob::Start(const TChatHistory& history) {
    const QString path = m_folder.filePath(QStringLiteral("chat.html"));
    const Expected<void> written =
        m_folder.isValid()
            ? WriteWholeFile(path,
                             ConversationTypesettingPage(history, m_title, m_doneMessage).toUtf8())
            : Expected<void>(Failure(QStringLiteral("не удалось создать временную папку")));
    if (!written) {
        // Told later all the same, as the caller expects.
        QMetaObject::invokeMethod(
            this, [this, why = written.error()] { Finish(Failure(why)); }, Qt::QueuedConnection);
        return;
    }
    m_page->OnTypeset = [this] { Typeset(); };
    connect(m_page.get(), &QWebEnginePage::loadFinished, this, [this](bool loaded) {
        if (!loaded)
            Finish(Failure(QStringLiteral("страница не загрузилась")));
    });
    connect(m_page.get(), &QWebEnginePage::renderProcessTerminated, this,
            [this] { Finish(Failure(kNotTypeset)); });
    m_page->load(QUrl::fromLocalFile(path));
}

void TypesetJob::Typeset() {
    if (m_format == ExportFormat::Pdf) {
        m_page->printToPdf(
            [this](const QByteArray& pdf) {
                Finish(pdf.isEmpty() ? Expected<QByteArray>(
                                           Failure(QStringLiteral("страница не напечаталась")))
                                     : Expected<QByteArray>(pdf));
            },
            QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(12, 12, 12, 12),
                        QPageLayout::Millimeter));
        return;
    }
    m_page->runJavaScript(QStringLiteral("document.getElementById('chat-container').innerHTML"),
                          [this](const QVariant& blocks) {
                              if (blocks.typeId() != QMetaType::QString) {
                                  Finish(Failure(kNotTypeset));
                                  return;
                              }
                              Finish(ExportHtmlDocument(m_title, blocks.toString()).toUtf8());
                          });
}

void TypesetJob::Finish(const Expected<QByteArray>& bytes) {
    if (!m_done)
        return;
    std::exchange(m_done, {})(bytes);
    deleteLater();
}

} // namespace

void TypesetExport(const TChatHistory& history, const QString& title, ExportFormat format,
                   QObject* parent, std::function<void(const Expected<QByteArray>&)> done) {
    auto* job = new TypesetJob(parent, format, title, std::move(done));
    job->Start(history);
}
