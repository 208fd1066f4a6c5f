#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class QObject;

// Prints an HTML document to PDF through the web engine, on a page of its own that is
// never shown. done receives the PDF, or nothing when the document could not be printed;
// it runs once, later, on this thread, unless parent is gone by then.
void PrintHtmlToPdf(const QString& html, QObject* parent,
                    std::function<void(const QByteArray&)> done);
