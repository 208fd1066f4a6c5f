#pragma once

#include <QString>

#include <stdexcept>

// An error that ends the operation under way and the handler that started it; the
// window's error report shows its text to the user.
class OperationError : public std::runtime_error {
public:
    explicit OperationError(const QString& message) : std::runtime_error(message.toStdString()) {}

    QString Message() const { return QString::fromStdString(what()); }
};
