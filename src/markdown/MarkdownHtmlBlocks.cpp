#include "markdown/MarkdownBlocks.h"
#include "markdown/MarkdownUtils.h"

#include <vector>

using namespace Qt::StringLiterals;

void DocumentStore::forgetIfChanged() {
    if (m_cacheEpoch == m_epoch)
        return;
    m_htmlStarts.clear();
    m_commentEnds.clear();
    m_cacheEpoch = m_epoch;
}

DocumentStore::HtmlStart DocumentStore::htmlBlockStart(const TLine* line, TLine*& end) {
    forgetIfChanged();
    if (!m_htmlStarts.contains(line))
        scanHtmlElements(const_cast<TLine*>(line));
    const HtmlAnswer answer = m_htmlStarts.value(line, {hsScanAlone, nullptr});
    end = answer.end;
    return answer.start;
}

// Reads the tags of the lines from first on, as the block test reads them, with one stack of
// open block elements, until first is answered. A line whose first tag opens a block element
// is answered when that element is closed (its block ends there) or when a wrongly nested
// closing tag, or the end of the lines, is met while it is still open (no block). Every line
// answered on the way is remembered, so a run of unclosed elements is read once.
void DocumentStore::scanHtmlElements(TLine* first) {
    struct OpenElement {
        QString name;
        const TLine* start;
    };
    std::vector<OpenElement> open;
    const auto answerOpenStarts = [&] {
        for (const OpenElement& entry : open)
            if (entry.start)
                m_htmlStarts.insert(entry.start, {hsNotBlock, nullptr});
        open.clear();
    };
    QString element;
    for (TLine* line = first; line && !m_htmlStarts.contains(first); line = line->FNext) {
        const QString& text = line->FValue;
        const bool startsWithTag = !line->FIsEmpty && text[line->FLeading] == u'<';
        const TagIndex tags(text);
        bool firstTag = true;
        qsizetype position = 0;
        for (qsizetype lt; (lt = text.indexOf(u'<', position)) >= 0;) {
            const int q = tags.tagEnd(int(lt));
            const bool start = firstTag && startsWithTag;
            firstTag = false;
            if (q <= 0) {
                if (start)
                    m_htmlStarts.insert(line, {hsNotBlock, nullptr});
                position = lt + 1;
                continue;
            }
            element.clear();
            TUtils::readXML(element, text, int(lt), false);
            position = q;
            const QString name = TUtils::lowerTagName(element);
            const bool block = THTML::isHtmlBlockElement(name);
            const bool single = name == u"hr"_s || element.endsWith(u"/>"_s);
            const bool closing = element.startsWith(u"</"_s);
            bool pushedStart = false;
            if (start) {
                if (!block)
                    m_htmlStarts.insert(line, {hsNotBlock, nullptr});
                else if (single)
                    m_htmlStarts.insert(line, {hsBlock, line});
                else if (closing)
                    m_htmlStarts.insert(line, {hsScanAlone, nullptr});
                else
                    pushedStart = true;
            }
            if (!block || single)
                continue;
            if (!closing) {
                open.push_back({name, pushedStart ? line : nullptr});
            } else if (!open.empty()) {
                if (open.back().name == name) {
                    if (open.back().start)
                        m_htmlStarts.insert(open.back().start, {hsBlock, line});
                    open.pop_back();
                } else {
                    answerOpenStarts();
                }
            }
        }
    }
    answerOpenStarts();
}

TLine* DocumentStore::commentEndFrom(TLine* line) {
    forgetIfChanged();
    if (!line)
        return nullptr;
    if (!m_commentEnds.contains(line)) {
        std::vector<TLine*> chain;
        for (TLine* l = line; l && !m_commentEnds.contains(l); l = l->FNext)
            chain.push_back(l);
        TLine* next = chain.back()->FNext ? m_commentEnds.value(chain.back()->FNext) : nullptr;
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            if ((*it)->FValue.contains(u"-->"_s))
                next = *it;
            m_commentEnds[*it] = next;
        }
    }
    return m_commentEnds.value(line);
}
