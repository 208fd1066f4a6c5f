// Export of a chat from the chat list's popup menu: to Markdown, to one HTML file, or to
// PDF, through the save dialog.
#include "app/MainWindow.h"

#include "page/ChatExport.h"
#include "app/Dialogs.h"
#include "chat/GeminiDM.h"
#include "app/PdfPrinter.h"

#include <QFileInfo>
#include <QPointer>

namespace {

const QString kExportFilter = QStringLiteral("Markdown (*.md);;HTML (*.html);;PDF (*.pdf)");

} // namespace

void TForm1::ExportChat(const QString& chatPath, const QString& title) {
    TChatHistory history;
    // The open chat as it stands; any other from its file.
    if (chatPath.isEmpty() || chatPath == FChats.CurrentFile()) {
        history = FGeminiDM.ChatHistory();
    } else {
        Expected<TChatHistory> read = ReadChatForExport(chatPath);
        if (!read) {
            FDialogs.ShowMessage(QStringLiteral("Не удалось прочитать чат: ") + read.error());
            return;
        }
        history = std::move(*read);
    }
    if (history.isEmpty()) {
        FDialogs.ShowMessage(QStringLiteral("В чате нет сообщений для экспорта."));
        return;
    }
    const QString path = FDialogs.GetSaveFileName(QStringLiteral("Экспорт чата"),
                                                  title + QStringLiteral(".md"), kExportFilter);
    if (path.isEmpty())
        return;
    const auto report = [this, path](const Expected<void>& written) {
        if (!written) {
            SetStatusText(QStringLiteral("Ошибка"));
            FDialogs.ShowMessage(QStringLiteral("Не удалось сохранить ") +
                                 QFileInfo(path).fileName() + QStringLiteral(": ") +
                                 written.error());
            return;
        }
        SetStatusText(QStringLiteral("Чат сохранён: ") + path);
    };
    switch (ExportFormatOf(path)) {
    case ExportFormat::Markdown:
        report(WriteExportFile(path, ConversationMarkdown(history).toUtf8()));
        return;
    case ExportFormat::Html:
        report(WriteExportFile(path, ConversationHtmlDocument(history, title).toUtf8()));
        return;
    case ExportFormat::Pdf:
        SetStatusText(QStringLiteral("Экспорт в PDF..."));
        PrintHtmlToPdf(ConversationHtmlDocument(history, title), this,
                       [this, path, report](const QByteArray& pdf) {
                           Guarded(FDialogs, [&] {
                               report(pdf.isEmpty() ? Expected<void>(Failure(QStringLiteral(
                                                          "страница не напечаталась")))
                                                    : WriteExportFile(path, pdf));
                           });
                       });
        return;
    }
}
