#pragma once

#include <QString>

#include <functional>
#include <utility>
#include <vector>

// Hostile texts of about 1 MB each (the deeply nested lists 4.5 MB), by name, made when asked
// for; the converter must finish each quickly.
std::vector<std::pair<QString, std::function<QString()>>> adversarialInputs();
