#include "service/EventStream.h"

#include <utility>

namespace {

// Characters up to U+0020 are single bytes in UTF-8, so trimming bytes trims the text.
QByteArrayView trimmedLow(QByteArrayView text) {
    while (!text.isEmpty() && uchar(text.front()) <= 0x20)
        text = text.sliced(1);
    while (!text.isEmpty() && uchar(text.back()) <= 0x20)
        text.chop(1);
    return text;
}

bool isDataLine(QByteArrayView line) {
    return line.size() >= 5 && line.first(5).compare("data:", Qt::CaseInsensitive) == 0;
}

} // namespace

EventStreamReader::EventStreamReader(EventHandler onEvent) : m_onEvent(std::move(onEvent)) {}

void EventStreamReader::feed(QByteArrayView bytes) {
    if (bytes.isEmpty())
        return;
    qsizetype start = 0;
    if (m_afterCarriageReturn && bytes.front() == '\n')
        start = 1;
    m_afterCarriageReturn = false;
    for (qsizetype i = start; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c != '\r' && c != '\n')
            continue;
        if (m_partialLine.isEmpty()) {
            takeLine(bytes.sliced(start, i - start));
        } else {
            m_partialLine.append(bytes.sliced(start, i - start));
            takeLine(std::exchange(m_partialLine, QByteArray()));
        }
        if (c == '\r') {
            if (i + 1 == bytes.size())
                m_afterCarriageReturn = true;
            else if (bytes[i + 1] == '\n')
                ++i;
        }
        start = i + 1;
    }
    m_partialLine.append(bytes.sliced(start));
}

void EventStreamReader::takeLine(QByteArrayView line) {
    if (isDataLine(line)) {
        m_event.append(trimmedLow(line.sliced(5)));
        return;
    }
    if (trimmedLow(line).isEmpty() && !m_event.isEmpty())
        m_onEvent(std::exchange(m_event, QByteArray()));
}
