#pragma once

#include <QString>

// The web service that renders the TeX text of its "chl" parameter as an image.
inline constexpr QStringView kFormulaImageService = u"https://chart.googleapis.com";

// A formula between "$" signs at start becomes an image of the service; returns the position
// of the closing "$", or -1 when there is no formula there.
int checkFormula(QString& out, const QString& in, int start);
