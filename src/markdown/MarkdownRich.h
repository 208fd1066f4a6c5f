#pragma once

#include "markdown/MarkdownEngine.h"

// Dialect 1, the one the program uses.
class TMarkdownRich : public TMarkdownEngine {
public:
    TMarkdownRich() { FConfig->SetDialect(mdRich); }
};
