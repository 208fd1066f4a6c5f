#include "markdown/MarkdownEngine.h"

TMarkdownEngine::TMarkdownEngine()
    : Femitter(std::make_unique<TEmitter>(*FConfig)), FTables(std::make_unique<TTable>(*Femitter)) {
    Femitter->setTables(*FTables);
}

TMarkdownEngine::~TMarkdownEngine() = default;

QString TMarkdownEngine::Process(const QString& ASource) {
    FuseExtensions = FConfig->isDialect({mdRich, mdExtended});
    TMarkdownReader reader(ASource);
    DocumentStore store;
    QString out;
    out.reserve(2 * ASource.size());
    TBlock* root = readSourceLines(reader, store);
    root->removeSurroundingEmptyLines();
    buildBlocks(root, false);
    for (TBlock* child = root->FBlocks; child; child = child->FNext)
        Femitter->emit(out, child);
    return out;
}
