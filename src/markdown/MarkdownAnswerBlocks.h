#pragma once

#include "markdown/MarkdownBlocks.h"

#include <functional>
#include <memory>

class TEmitter;

// Reads a link reference definition off a line (true: the line was one); a definition
// without a title waits in the second argument for a title on the next line.
using DefinitionReader = std::function<bool(TLine&, std::shared_ptr<TLinkRef>&)>;

// Answer mode's block builder: moves root's lines into a tree of blocks as CommonMark
// (with GitHub's tables, task lists and footnotes) reads them. Link definitions at the start
// of paragraphs go to the definition reader, footnote definitions to the emitter.
void buildAnswerBlocks(TBlock* root, DocumentStore& store, TEmitter& emitter,
                       const DefinitionReader& definitions);
