#pragma once

#include <QDateTime>

#include <functional>

// The one source of "now" for timestamps, chat file names and the counter's day,
// replaceable so that tests can stand at any moment.
namespace Clock {

using Source = std::function<QDateTime()>;

// Local time from the installed source (the system clock unless replaced).
QDateTime now();

// Replaces the source; an empty source restores the system clock.
void setSource(Source source);

} // namespace Clock
