// libFuzzer target over the chat-file reader: any bytes must read without a crash, a
// sanitizer finding or a hang, and a file that reads whole must write back to a text that
// reads as the same chat and writes back to itself.
#include "ChatFile.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// Where a kept member stood depends on the known members around it, which a rewrite may
// drop (a duplicate "role", say), so its position is left out of the comparison.
TKeptMembers withoutPositions(TKeptMembers kept) {
    for (TKeptMember& member : kept)
        member.After = 0;
    return kept;
}

TChatFileContent withoutPositions(TChatFileContent content) {
    content.Kept = withoutPositions(content.Kept);
    for (THistoryItem& item : content.History) {
        item.Kept = withoutPositions(item.Kept);
        for (TContentPart& part : item.Parts) {
            part.Kept = withoutPositions(part.Kept);
            part.KeptInlineData = withoutPositions(part.KeptInlineData);
        }
    }
    return content;
}

bool sameChat(const TChatFileContent& a, const TChatFileContent& b) {
    const TChatFileContent left = withoutPositions(a);
    const TChatFileContent right = withoutPositions(b);
    return left.History == right.History && left.Kept == right.Kept;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TChatFileContent content;
    const TChatFileLoad load =
        ReadChatFileText(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), content);
    if (load.Outcome != TChatLoadOutcome::loLoaded)
        return 0;
    const QByteArray written = ChatFileText(content);
    TChatFileContent again;
    if (!ReadChatFileText(written, again) || !sameChat(content, again))
        std::abort();
    if (ChatFileText(again) != written)
        std::abort();
    return 0;
}
