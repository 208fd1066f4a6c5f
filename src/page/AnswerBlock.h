#pragma once

#include "conversation/ConversationModel.h"

#include <QList>
#include <QString>

// A model message as the page shows it: its thoughts folded above, then every part in
// order (text converted from Markdown, pictures, function calls, code and its output), a
// note when it stopped early, and the pages it names.

// The fragment of a "Продолжить" link starts with this, followed by its token.
inline constexpr QStringView kContinueFragmentPrefix = u"continue-";

// What the page adds to an answer it has just received.
struct AnswerFooting {
    // A "Продолжить" link with this token, when the answer stopped where it can go on.
    QString ContinueToken = {};
    // The technical text of a broken connection, folded under "Подробнее".
    QString Details = {};
    // The user stopped the answer.
    bool Stopped = false;
};

// With the page's token, pictures too large to show are links that save them (PictureLink.h).
QString BuildModelItemHtml(const THistoryItem& item, const AnswerFooting& footing = {},
                           QStringView pictureToken = {});

// Why an answer stopped early, in Russian, for its note and the status bar; empty for the
// normal end. An unknown reason is named as the service gave it.
QString StopNoteText(const QString& finishReason);

// The pages a grounded answer names, then the sources it cites, each address once.
QList<WebSource> AnswerSourceList(const QList<WebSource>& sources,
                                  const QList<Citation>& citations);

// That list as links under the answer; empty for none. Only web addresses become links.
QString BuildSourcesHtml(const QList<WebSource>& sources, const QList<Citation>& citations = {});

// A function call, code or its result as the page shows it: a line saying what it is
// and a code block. For the export, the same as Markdown.
QString ObjectPartHtml(const TContentPart& part);
QString ObjectPartMarkdown(const TContentPart& part);

// What a citation shows: its address, and its licence when it names one.
QString CitationTitle(const Citation& citation);
