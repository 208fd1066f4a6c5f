#include "text/Clock.h"

namespace {

Clock::Source& installedSource() {
    static Clock::Source source;
    return source;
}

} // namespace

QDateTime Clock::now() {
    const Clock::Source& source = installedSource();
    return source ? source() : QDateTime::currentDateTime();
}

void Clock::setSource(Source source) {
    installedSource() = std::move(source);
}
