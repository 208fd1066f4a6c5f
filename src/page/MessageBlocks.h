#pragma once

#include "text/Clock.h"
#include "conversation/ConversationModel.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// The HTML of the kinds of message block on the chat page. Each block carries the time of
// its message: by default the moment it is built, from the program's clock; an invalid
// time (a message saved without one) shows none.

// The page shows at most this many bytes (UTF-8) of one message's text, then a note of
// how much of it that is; the conversation keeps the text whole.
inline constexpr qint64 MessageDisplayLimitBytes = 2 * 1024 * 1024;

// Text made safe to stand in HTML content or a quoted attribute; a NUL becomes U+FFFD.
QString EscapeHtml(QStringView text);

// The timestamp of a block: "hh:nn:ss - dd.mm.yyyy"; empty for an invalid time.
QString MessageTimestamp(const QDateTime& time);
QString MessageTimestamp();

// A user's prompt with the names of its attachments (file names, or MIME types for
// parts without a name), listed as given but escaped.
QString BuildUserMessageHtml(const QString& text, const QStringList& files,
                             const QDateTime& time = Clock::now());

// A model answer: an image description becomes an image block, anything else is
// converted from Markdown.
QString BuildModelMessageHtml(const QString& data, const QDateTime& time = Clock::now());

// A drawn picture's block; with the page's token a picture too large to show is a link that
// saves it (PictureLink.h).
QString BuildImageMessageHtml(const QString& MimeType, const QString& Base64Data,
                              const QDateTime& time = Clock::now(), QStringView pictureToken = {});

// An answer's Markdown as the HTML inside its block, code blocks wrapped.
QString BuildAnswerHtml(const QString& markdown);
// The same for as much of it as the page shows, with the note that says how much.
QString BuildShownAnswerHtml(const QString& markdown);

// A model answer's block around HTML content made elsewhere.
QString BuildModelBlockHtml(const QString& contentHtml, const QDateTime& time = Clock::now());

// The block of a model answer still being written: empty places for its finished blocks
// ("live-settled") and its tail ("live-tail"), then a status line ("Печатает… 00:05"). The
// finished answer gets BuildModelMessageHtml's block in its place.
QString BuildLiveModelMessageHtml(const QString& status);

// The mark under an answer the user stopped; shown on the page only.
QString BuildStoppedMarkHtml();

// Puts every "<pre>"…"</pre>" span into a container whose header names the code's
// language and has a copy button.
QString WrapCodeBlocks(const QString& html);
