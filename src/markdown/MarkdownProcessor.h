#pragma once

#include "text/Expected.h"
#include "markdown/MarkdownConfiguration.h"

#include <QString>
#include <QStringConverter>

#include <memory>

// The Markdown converter as its callers see it: make one with CreateDialect, call Process.
class TMarkdownProcessor {
public:
    virtual ~TMarkdownProcessor();

    // Raises std::invalid_argument("Unknown Markdown dialect") for a value other than 0, 1, 2.
    static std::unique_ptr<TMarkdownProcessor> CreateDialect(TMarkdownProcessorDialect dialect);
    // The converter of the chat page's answers: the rich dialect in answer mode, formulas left
    // for the page to typeset, images from elsewhere written as links.
    static std::unique_ptr<TMarkdownProcessor> CreateForAnswers();

    virtual bool GetAllowUnsafe() const = 0;
    virtual void SetAllowUnsafe(bool value) = 0;
    virtual QString Process(const QString& ASource) = 0;
    // Fails when the file cannot be read or decoded.
    Expected<QString> ProcessFile(const QString& AFileName, QStringConverter::Encoding AEncoding);

    TConfiguration& config() const { return *FConfig; }
    bool AllowUnsafe() const { return GetAllowUnsafe(); }
    void setAllowUnsafe(bool value) { SetAllowUnsafe(value); }

protected:
    TMarkdownProcessor();

    std::unique_ptr<TConfiguration> FConfig;
};
