// libFuzzer target over the chat-file reader: any bytes must read without a crash, a
// sanitizer finding or a hang, and a file that reads whole must write back to a text that
// reads as the same chat and writes back to itself.
#include "store/ChatFile.h"
#include "store/ChatFileLayout.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// Where a kept member stood depends on the known members around it, which a rewrite may
// drop (a duplicate "role", say), so its position is left out of the comparison.
KeptMembers withoutPositions(KeptMembers kept) {
    for (KeptMember& member : kept)
        member.After = 0;
    return kept;
}

ChatFileContent withoutPositions(ChatFileContent content) {
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

bool sameChat(const ChatFileContent& a, const ChatFileContent& b) {
    const ChatFileContent left = withoutPositions(a);
    const ChatFileContent right = withoutPositions(b);
    return left.History == right.History && left.Kept == right.Kept && left.Label == right.Label;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ChatFileContent content;
    const ChatFileLoad load =
        ReadChatFileText(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), content);
    if (load.Outcome != ChatLoadOutcome::loLoaded)
        return 0;
    const QByteArray written = ChatFileText(content);
    ChatFileContent again;
    if (!ReadChatFileText(written, again) || !sameChat(content, again))
        std::abort();
    if (ChatFileText(again) != written)
        std::abort();
    // The chat list's quick reader finds the label this program wrote.
    if (ReadChatLabel(written) != content.Label)
        std::abort();
    return 0;
}
