#include "markdown/MarkdownEmitter.h"

#include "markdown/MarkdownInline.h"
#include "markdown/MarkdownTables.h"
#include "markdown/MarkdownUtils.h"

#include <deque>
#include <vector>

using namespace Qt::StringLiterals;

TEmitter::TEmitter(TConfiguration& config) : FConfig(config) {}

TEmitter::~TEmitter() = default;

void TEmitter::addLinkRef(const QString& key, std::shared_ptr<TLinkRef> linkRef) {
    const QString id = key.toLower();
    FLongestId = std::max(FLongestId, id.size());
    linkRefs.insert(id, std::move(linkRef));
}

const TLinkRef* TEmitter::findLinkRef(const QString& id) const {
    const auto it = linkRefs.constFind(id.toLower());
    return it == linkRefs.cend() ? nullptr : it->get();
}

void TEmitter::clearFootnotes() {
    FFootnotes.clear();
    FFootnoteOrder.clear();
}

void TEmitter::addFootnote(const QString& label, TBlock* block) {
    // The first definition of a label wins, as for link definitions in CommonMark.
    const QString key = footnoteKey(label);
    if (!FFootnotes.contains(key))
        FFootnotes.insert(key, Footnote{block, 0, 0});
}

bool TEmitter::hasFootnote(QStringView label) const {
    return !FFootnotes.isEmpty() && FFootnotes.contains(footnoteKey(label));
}

// Ids carry only the footnote's number and the reference's count, never the label, so they
// are always safe in an attribute.
void TEmitter::writeFootnoteRef(QString& out, QStringView label) {
    Footnote& note = FFootnotes[footnoteKey(label)];
    if (note.number == 0) {
        FFootnoteOrder.push_back(footnoteKey(label));
        note.number = int(FFootnoteOrder.size());
    }
    ++note.references;
    const QString number = QString::number(note.number);
    QString id = u"fnref-"_s + number;
    if (note.references > 1)
        id += u'-' + QString::number(note.references);
    out += u"<sup class=\"footnote-ref\"><a href=\"#fn-"_s + number + u"\" id=\""_s + id +
           u"\">"_s + number + u"</a></sup>"_s;
}

void TEmitter::emitFootnotes(QString& out) {
    if (FFootnoteOrder.empty())
        return;
    out += u"<section class=\"footnotes\">\n<ol>\n"_s;
    // A footnote may refer to a later one, which then joins the list being written.
    for (std::size_t i = 0; i < FFootnoteOrder.size(); ++i) {
        const Footnote note = FFootnotes.value(FFootnoteOrder[i]);
        const QString number = QString::number(note.number);
        QString body;
        emit(body, note.block);
        const Footnote done = FFootnotes.value(FFootnoteOrder[i]);
        QString back;
        for (int k = 1; k <= done.references; ++k) {
            const QString id = k == 1 ? number : number + u'-' + QString::number(k);
            back += u" <a href=\"#fnref-"_s + id + u"\" class=\"footnote-backref\">\u21A9</a>"_s;
        }
        // The links back end the last paragraph, or make one of their own.
        if (body.endsWith(u"</p>\n"_s))
            body.insert(body.size() - 5, back);
        else
            body += u"<p>"_s + back.mid(1) + u"</p>\n"_s;
        out += u"<li id=\"fn-"_s + number + u"\">\n"_s + body + u"</li>\n"_s;
    }
    out += u"</ol>\n</section>\n"_s;
}

// Walks the tree with an explicit stack: quotes and lists may nest thousands deep.
void TEmitter::emit(QString& out, TBlock* block) {
    struct Visit {
        TBlock* block;
        TBlock* nextChild;
    };
    // Grows without copying: the stack may be a million blocks deep.
    std::deque<Visit> open;
    const auto enter = [&](TBlock* b) {
        b->removeSurroundingEmptyLines();
        openBlock(out, b);
        if (b->FType == btRULER)
            return;
        if (b->hasLines()) {
            emitLines(out, b);
            closeBlock(out, b);
        } else {
            open.push_back({b, b->FBlocks});
        }
    };
    enter(block);
    while (!open.empty()) {
        TBlock* child = open.back().nextChild;
        if (!child) {
            closeBlock(out, open.back().block);
            open.pop_back();
            continue;
        }
        open.back().nextChild = child->FNext;
        enter(child);
    }
}

void TEmitter::writeIdAttribute(QString& out, const TBlock* block) {
    if (FConfig.isDialect({mdRich, mdExtended}) && !block->id().isEmpty()) {
        out += u" id=\""_s;
        TUtils::appendCode(out, block->id(), 0, int(block->id().size()));
        out += u'"';
    }
    out += u'>';
}

void TEmitter::openBlock(QString& out, const TBlock* block) {
    TDecorator& decorator = *FConfig.decorator();
    const bool ownCode = FConfig.codeBlockEmitter() == nullptr;
    switch (block->FType) {
    case btBLOCKQUOTE:
        decorator.openBlockQuote(out);
        break;
    case btCODE:
        if (ownCode)
            decorator.openCodeBlock(out);
        break;
    case btFENCED_CODE:
        if (ownCode)
            decorator.openFencedCodeBlock(out, block->meta());
        break;
    case btHEADLINE:
        decorator.openHeadline(out, block->FHlDepth);
        writeIdAttribute(out, block);
        break;
    case btLIST_ITEM:
        decorator.openListItem(out);
        writeIdAttribute(out, block);
        if (block->task() != TBlock::tsNone)
            out += block->task() == TBlock::tsDone
                       ? u"<input type=\"checkbox\" disabled=\"\" checked=\"\" /> "_s
                       : u"<input type=\"checkbox\" disabled=\"\" /> "_s;
        break;
    case btORDERED_LIST:
        if (block->listStart() != 1)
            out += u"<ol start=\""_s + QString::number(block->listStart()) + u"\">\n"_s;
        else
            decorator.openOrderedList(out);
        break;
    case btUNORDERED_LIST:
        decorator.openUnOrderedList(out);
        break;
    case btPARAGRAPH:
        decorator.openParagraph(out);
        break;
    case btRULER:
        decorator.horizontalRuler(out);
        break;
    default:
        break;
    }
}

void TEmitter::closeBlock(QString& out, const TBlock* block) {
    TDecorator& decorator = *FConfig.decorator();
    switch (block->FType) {
    case btBLOCKQUOTE:
        decorator.closeBlockQuote(out);
        break;
    case btCODE:
    case btFENCED_CODE:
        if (!FConfig.codeBlockEmitter())
            decorator.closeCodeBlock(out);
        break;
    case btHEADLINE:
        decorator.closeHeadline(out, block->FHlDepth);
        break;
    case btLIST_ITEM:
        decorator.closeListItem(out);
        break;
    case btORDERED_LIST:
        decorator.closeOrderedList(out);
        break;
    case btPARAGRAPH:
        decorator.closeParagraph(out);
        break;
    case btUNORDERED_LIST:
        decorator.closeUnOrderedList(out);
        break;
    default:
        break;
    }
}

void TEmitter::emitLines(QString& out, TBlock* block) {
    switch (block->FType) {
    case btCODE:
        emitCodeLines(out, block->FLines, block->meta(), true);
        break;
    case btFENCED_CODE:
        emitCodeLines(out, block->FLines, block->meta(), false);
        break;
    case btXML:
        emitRawLines(out, block->FLines);
        break;
    case btTABLE:
        FTables->emitTableLines(out, block->FLines);
        break;
    default:
        emitMarkedLines(out, block->FLines);
    }
}

void TEmitter::emitMarkedLines(QString& out, const TLine* lines) {
    if (FConfig.answerMode()) {
        emitAnswerLines(out, lines);
        return;
    }
    if (lines && !lines->FNext && !lines->FIsEmpty && lines->FTrailing < 2) {
        // One line without a hard break: its text as it stands, without a copy.
        const QString text =
            QString::fromRawData(lines->FValue.constData() + lines->FLeading,
                                 lines->length() - lines->FTrailing - lines->FLeading);
        recursiveEmitLine(out, text, 0, mtNONE);
        return;
    }
    QString text;
    qsizetype size = 0;
    for (const TLine* line = lines; line; line = line->FNext)
        size += line->length() + 6;
    text.reserve(size);
    for (const TLine* line = lines; line; line = line->FNext) {
        if (!line->FIsEmpty) {
            const int end = line->length() - line->FTrailing;
            text +=
                QStringView(line->FValue).mid(line->FLeading, std::max(end - line->FLeading, 0));
            if (line->FTrailing >= 2)
                text += u"<br/>"_s;
        }
        if (line->FNext)
            text += u'\n';
    }
    recursiveEmitLine(out, text, 0, mtNONE);
}

// As CommonMark breaks lines: two spaces or a backslash at the end of a line that is not the
// block's last.
void TEmitter::emitAnswerLines(QString& out, const TLine* lines) {
    if (lines && !lines->FNext && !lines->FIsEmpty) {
        const QString text =
            QString::fromRawData(lines->FValue.constData() + lines->FLeading,
                                 lines->length() - lines->FTrailing - lines->FLeading);
        recursiveEmitLine(out, text, 0, mtNONE);
        return;
    }
    QString text;
    for (const TLine* line = lines; line; line = line->FNext) {
        if (!line->FIsEmpty) {
            const int end = line->length() - line->FTrailing;
            QStringView part = QStringView(line->FValue).mid(line->FLeading,
                                                             std::max(end - line->FLeading, 0));
            bool hardBreak = line->FNext && line->FTrailing >= 2;
            if (line->FNext && part.endsWith(u'\\') && line->FTrailing == 0) {
                int slashes = 0;
                while (slashes < part.size() && part[part.size() - 1 - slashes] == u'\\')
                    ++slashes;
                if (slashes % 2 == 1) {
                    part.chop(1);
                    hardBreak = true;
                }
            }
            text += part;
            if (hardBreak)
                text += u"<br/>"_s;
        }
        if (line->FNext)
            text += u'\n';
    }
    recursiveEmitLine(out, text, 0, mtNONE);
}

void TEmitter::emitCodeLines(QString& out, const TLine* lines, const QString& meta,
                             bool removeIndent) {
    const int skip = removeIndent ? 4 : 0;
    if (TBlockEmitter* emitter = FConfig.codeBlockEmitter()) {
        QStringList list;
        for (const TLine* line = lines; line; line = line->FNext)
            list.append(line->FIsEmpty ? QString() : line->FValue.mid(skip));
        emitter->emitBlock(out, list, meta);
        return;
    }
    for (const TLine* line = lines; line; line = line->FNext) {
        if (!line->FIsEmpty)
            TUtils::appendCode(out, line->FValue, std::min(skip, line->length()), line->length());
        out += u'\n';
    }
}

void TEmitter::emitRawLines(QString& out, const TLine* lines) {
    QString text;
    for (const TLine* line = lines; line; line = line->FNext) {
        text += line->FValue;
        text += u'\n';
    }
    if (!FConfig.safeMode()) {
        out += text;
        return;
    }
    const TagIndex tags(text);
    QString scratch;
    const int length = int(text.size());
    int copied = 0;
    for (int p = 0; p < length; ++p) {
        if (text[p] != u'<' || tags.tagEnd(p) == -1)
            continue;
        out += QStringView(text).mid(copied, p - copied);
        scratch.clear();
        p = TUtils::readXML(scratch, text, p, true);
        out += scratch;
        copied = p + 1;
    }
    out += QStringView(text).mid(copied);
}

int TEmitter::recursiveEmitLine(QString& out, const QString& in, int start, TMarkToken token) {
    InlineScan scan(*this, in, 0);
    const int close = scan.closeOf(start, token);
    if (token != mtNONE && close < 0)
        return -1;
    scan.render(out, start, close < 0 ? int(in.size()) : close);
    return close;
}

void TEmitter::emitBuiltHtml(QString& out, const QString& html,
                             const std::vector<std::pair<int, int>>& tags) {
    InlineScan scan(*this, html, 0, -1, &tags);
    scan.render(out, 0, int(html.size()));
}

int TEmitter::recursiveEmitLinkText(QString& out, const QString& name, int depth) {
    if (depth > kMaxLinkTextDepth) {
        TUtils::appendCode(out, name, 0, int(name.size()));
        return -1;
    }
    InlineScan scan(*this, name, depth);
    scan.render(out, 0, int(name.size()));
    return -1;
}

std::unique_ptr<ScanTables> TEmitter::takeScanTables(int depth) {
    if (depth < int(FScanTables.size()) && FScanTables[depth])
        return std::move(FScanTables[depth]);
    return std::make_unique<ScanTables>();
}

void TEmitter::returnScanTables(int depth, std::unique_ptr<ScanTables> tables) {
    if (depth >= int(FScanTables.size()))
        FScanTables.resize(depth + 1);
    FScanTables[depth] = std::move(tables);
}
