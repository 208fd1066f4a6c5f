#include "markdown/MarkdownEngine.h"

#include "markdown/MarkdownAnswerBlocks.h"

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
    const bool answers = FConfig->answerMode();
    if (answers)
        Femitter->clearFootnotes();
    TBlock* root = readSourceLines(reader, store);
    root->removeSurroundingEmptyLines();
    if (answers) {
        buildAnswerBlocks(root, store, *Femitter,
                          [this](TLine& line, std::shared_ptr<TLinkRef>& pendingTitle) {
                              return readLinkDefinition(line, pendingTitle);
                          });
    } else {
        buildBlocks(root, false);
    }
    for (TBlock* child = root->FBlocks; child; child = child->FNext)
        Femitter->emit(out, child);
    if (answers) {
        Femitter->emitFootnotes(out);
        Femitter->clearFootnotes();
    }
    return out;
}
