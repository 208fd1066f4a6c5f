#pragma once

#include "conversation/ConversationModel.h"

#include <QString>
#include <QStringList>

// What a user item lists as an attachment: the file name, or the MIME type of a part
// that has none.
QString AttachmentName(const TContentPart& part);

// The message blocks of a whole saved conversation, in order, as the page shows them
// when a chat is opened: user items with their attachment names (and the failure of a
// request that failed), and model items whole, each with the time it was written (none
// when the file did not keep it). Items of any other role are not shown.
QString BuildConversationHtml(const TChatHistory& history);

// The same blocks in parts (a block is never split), oldest part first; joined they are
// BuildConversationHtml. The latest part holds about latestChars, each older one about
// olderChars: a long chat shows its latest part at once and the older parts after it.
// With an action token each message's block carries its action bar (MessageActionBar.h) and
// pictures too large to show are links that save them (PictureLink.h).
QStringList BuildConversationHtmlChunks(const TChatHistory& history, qsizetype latestChars,
                                        qsizetype olderChars, QStringView actionToken = {});
