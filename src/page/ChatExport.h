#pragma once

#include "conversation/ConversationModel.h"
#include "text/Expected.h"

#include <QByteArray>
#include <QString>

// A chat written out for reading elsewhere.

enum class ExportFormat { Markdown, Html, Pdf };

// The format a file name asks for by its extension (letter case ignored); nothing known
// is Markdown.
ExportFormat ExportFormatOf(const QString& fileName);

// The conversation as Markdown: a heading per message (who, and when when known), the
// text as written, and the attachments and pictures named.
QString ConversationMarkdown(const TChatHistory& history);

// The conversation as one HTML document that needs nothing else: the page's own look,
// pictures inline, and a policy that lets it fetch nothing from anywhere.
QString ConversationHtmlDocument(const TChatHistory& history, const QString& title);

// The conversation of a chat file, read without touching the open chat.
Expected<TChatHistory> ReadChatForExport(const QString& path);

// Writes the bytes whole, or says why not.
Expected<void> WriteExportFile(const QString& path, const QByteArray& bytes);
