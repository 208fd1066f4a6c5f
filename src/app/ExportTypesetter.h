#pragma once

#include "conversation/ConversationModel.h"
#include "page/ChatExport.h"
#include "text/Expected.h"

#include <QByteArray>
#include <QString>

#include <functional>

class QObject;

// A chat exported as the chat page shows it: formulas typeset and code highlighted by the
// web engine on a page of its own that is never shown. done receives the file's bytes (the
// HTML document for ExportFormat::Html, the PDF for ExportFormat::Pdf) or why there are
// none; it runs once, later, on this thread, and never once parent is gone.
void TypesetExport(const TChatHistory& history, const QString& title, ExportFormat format,
                   QObject* parent, std::function<void(const Expected<QByteArray>&)> done);
