#pragma once

#include <QString>

#include <utility>
#include <vector>

// Hostile texts of about 1 MB each, named, that the converter must finish quickly.
std::vector<std::pair<QString, QString>> adversarialInputs();
