#pragma once

#include "markdown/MarkdownEngine.h"

// Dialect 2.
class TMarkdownExtended : public TMarkdownEngine {
public:
    TMarkdownExtended() { FConfig->SetDialect(mdExtended); }
};
