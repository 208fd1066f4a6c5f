#pragma once

#include "markdown/MarkdownBlocks.h"
#include "markdown/MarkdownEmitter.h"
#include "markdown/MarkdownProcessor.h"
#include "markdown/MarkdownTables.h"

#include <memory>

// The engine shared by all dialects: reads lines, builds the block tree, writes HTML.
class TMarkdownEngine : public TMarkdownProcessor {
public:
    TMarkdownEngine();
    ~TMarkdownEngine() override;

    bool GetAllowUnsafe() const override { return !FConfig->safeMode(); }
    void SetAllowUnsafe(bool value) override { FConfig->setSafeMode(!value); }
    QString Process(const QString& ASource) override;

private:
    TBlock* readSourceLines(TMarkdownReader& reader, DocumentStore& store);
    bool readLinkDefinition(TLine& line, std::shared_ptr<TLinkRef>& pendingTitleRef);
    void buildBlocks(TBlock* root, bool listMode);

    std::unique_ptr<TEmitter> Femitter;
    std::unique_ptr<TTable> FTables;
    bool FuseExtensions = false;
};
