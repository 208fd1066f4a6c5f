#pragma once

#include "conversation/ConversationModel.h"
#include "text/Expected.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

// A chat written out for reading elsewhere.

enum class ExportFormat { Markdown, Html, Pdf };

// The format a file name asks for by its extension (letter case ignored); nothing known
// is Markdown.
ExportFormat ExportFormatOf(const QString& fileName);

// The conversation as Markdown: a heading per message (who, and when when known), the
// text as written, and the attachments and pictures named.
QString ConversationMarkdown(const TChatHistory& history);

// A chat as one HTML document that needs nothing else, around its message blocks as the
// typesetting page left them: the page's own look, highlighted code's colours, KaTeX's
// styles and fonts when there are formulas, pictures inline, a policy that lets it fetch
// and run nothing, and the blocks WithoutActiveElements.
QString ExportHtmlDocument(const QString& title, QStringView blocks);

// The page a conversation is typeset on before it is exported, never shown: the export's
// look, with the program's KaTeX and highlight.js (qrc:/page/) and nothing else allowed to
// run or load. Once loaded it typesets every block at once and, when the fonts that needs
// have loaded too, writes doneMessage (letters, digits and dashes) to its console; its blocks are
// then in the element "chat-container".
QString ConversationTypesettingPage(const TChatHistory& history, const QString& title,
                                    const QString& doneMessage);

// The HTML of message blocks without the tags of the elements that would act as soon as
// a browser opens the exported file and that its policy does not stop: meta (a refresh),
// base, link (a preconnect), form, script, iframe, frame, object and embed. A browser makes
// an element only from "<" and its name as written, whatever the tag stands in, so none
// is left, and none can form where a tag was taken out.
QString WithoutActiveElements(QStringView html);

// The conversation of a chat file, read without touching the open chat.
Expected<TChatHistory> ReadChatForExport(const QString& path);

// Writes the bytes whole (WriteWholeFile), or says why not in Russian.
Expected<void> WriteExportFile(const QString& path, const QByteArray& bytes);
