#pragma once

#include <QString>

// What CountLabel shows for a count the counter returned. The counter answers -1 both
// for a blank key or model and for a file it cannot read: with nothing chosen nothing
// has been sent today ("0"), while an unreadable count is shown as unknown ("?"),
// never as "-1".
QString RequestCountText(const QString& key, const QString& model, int count);
