// Export of a chat from the chat list's popup menu: to Markdown, or typeset as the page
// shows it to one HTML file or to PDF, through the save dialog; and a picture too large for
// the page saved from its link.
#include "app/MainWindow.h"

#include "app/Dialogs.h"
#include "app/ExportTypesetter.h"
#include "chat/GeminiDM.h"
#include "page/ChatExport.h"
#include "page/PictureLink.h"
#include "text/WholeFile.h"

#include <QFileInfo>

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
    const ExportFormat format = ExportFormatOf(path);
    if (format == ExportFormat::Markdown) {
        report(WriteExportFile(path, ConversationMarkdown(history).toUtf8()));
        return;
    }
    // Typesetting takes the web engine a while; the window goes on meanwhile.
    SetStatusText(format == ExportFormat::Pdf ? QStringLiteral("Экспорт в PDF...")
                                              : QStringLiteral("Экспорт в HTML..."));
    TypesetExport(history, title, format, this,
                  [this, path, report](const Expected<QByteArray>& bytes) {
                      Guarded(FDialogs, [&] {
                          report(bytes ? WriteExportFile(path, *bytes)
                                       : Expected<void>(Failure(bytes.error())));
                      });
                  });
}

void TForm1::SavePicture(const QString& key) {
    const std::optional<TContentPart> picture = FindPicture(FGeminiDM.ChatHistory(), key);
    if (!picture)
        return;
    const QString name = PictureFileName(picture->MimeType);
    const QString suffix = QFileInfo(name).suffix();
    const QString anyFile = QStringLiteral("Все файлы (*)");
    const QString path =
        FDialogs.GetSaveFileName(QStringLiteral("Сохранить изображение"), name,
                                 suffix.isEmpty() ? anyFile
                                                  : suffix.toUpper() + QStringLiteral(" (*.") +
                                                        suffix + QStringLiteral(");;") + anyFile);
    if (path.isEmpty())
        return;
    if (const Expected<void> written =
            WriteWholeFile(path, QByteArray::fromBase64(picture->Base64Data));
        !written) {
        SetStatusText(QStringLiteral("Ошибка"));
        FDialogs.ShowMessage(QStringLiteral("Не удалось сохранить изображение ") +
                             QFileInfo(path).fileName() + QStringLiteral(": ") + written.error());
        return;
    }
    SetStatusText(QStringLiteral("Изображение сохранено: ") + path);
}
