#include "markdown/MarkdownEngine.h"

using namespace Qt::StringLiterals;

TBlock* TMarkdownEngine::readSourceLines(TMarkdownReader& reader, DocumentStore& store) {
    TBlock* root = store.newBlock();
    std::shared_ptr<TLinkRef> pendingTitleRef;
    const bool panic = FConfig->panicMode();
    // Answer mode expands a tab only where it indents: before the text, among quote and list
    // markers; a tab inside the text stays a tab.
    const bool answers = FConfig->answerMode();
    const auto indents = [](QChar c) {
        return c == u' ' || c == u'>' || c == u'-' || c == u'*' || c == u'+' || c == u'.' ||
               c == u')' || (c >= u'0' && c <= u'9');
    };
    QString buffer;
    QChar ch = reader.read();
    while (ch != QChar(0)) {
        // Most lines are one plain run of the source; such a line refers to the source, which
        // outlives the conversion, until its text is changed. Only a line with a tab (or a
        // "<" in panic mode) is built up in the buffer.
        const QChar* lineStart = reader.current() - 1;
        bool plain = true;
        bool indenting = answers;
        int col = 0;
        const auto leavePlain = [&] {
            if (plain)
                buffer = QString(lineStart, col);
            plain = false;
        };
        while (ch != QChar(0)) {
            if (ch == u'\t' && answers && !indenting) {
                leavePlain();
                buffer += ch;
                ++col;
                ch = reader.read();
            } else if (ch == u'\t') {
                leavePlain();
                do {
                    buffer += u' ';
                    ++col;
                } while (col % 4 != 0);
                ch = reader.read();
            } else if (ch == u'\n' || ch == u'\r') {
                const QChar pair = ch == u'\n' ? QChar(u'\r') : QChar(u'\n');
                ch = reader.read();
                if (ch == pair)
                    ch = reader.read();
                break;
            } else if (ch == u'<' && panic) {
                leavePlain();
                buffer += u"&lt;"_s;
                col += 4;
                ch = reader.read();
            } else {
                const QStringView run = reader.readPlain(panic);
                if (indenting) {
                    indenting = indents(ch);
                    for (qsizetype i = 0; indenting && i < run.size(); ++i)
                        indenting = indents(run[i]);
                }
                if (!plain) {
                    buffer += ch;
                    buffer += run;
                }
                col += 1 + int(run.size());
                ch = reader.read();
            }
        }
        TLine* line = store.newLine(plain ? QString::fromRawData(lineStart, col) : buffer);
        line->Init();
        // In answer mode definitions are read where paragraphs start, not in code blocks.
        if (answers) {
            root->AppendLine(line);
            continue;
        }
        if (readLinkDefinition(*line, pendingTitleRef))
            continue;
        QString title;
        if (!line->FIsEmpty && pendingTitleRef) {
            const QChar ch1 = line->FValue.at(line->FLeading);
            if (ch1 == u'"' || ch1 == u'\'' || ch1 == u'(') {
                line->FPosition = line->FLeading + 1;
                title = line->readUntil({ch1 == u'(' ? u')' : ch1.unicode()});
            }
            if (!title.isEmpty())
                pendingTitleRef->FTitle = title;
            pendingTitleRef.reset();
        }
        if (title.isEmpty()) {
            line->FPosition = 0;
            root->AppendLine(line);
        }
    }
    return root;
}

// A definition line is taken out of the text; its title may come on the next line. A
// replaced definition stays alive while it waits for that title, so the title line is still
// consumed as before.
bool TMarkdownEngine::readLinkDefinition(TLine& line, std::shared_ptr<TLinkRef>& pendingTitleRef) {
    if (line.FIsEmpty || line.FLeading >= 4 || line.FValue.at(line.FLeading) != u'[')
        return false;
    line.FPosition = line.FLeading + 1;
    const QString id = line.readUntil({u']'});
    if (id.isEmpty())
        return false;
    const int p = line.FPosition;
    if (!(p + 2 < line.length() && line.FValue.at(p + 1) == u':'))
        return false;
    line.FPosition = p + 2;
    if (!line.skipSpaces())
        return false;
    QString link;
    if (line.FValue.at(line.FPosition) == u'<') {
        ++line.FPosition;
        link = line.readUntil({u'>'});
        ++line.FPosition;
    } else {
        link = line.readUntil({u'\n', u' '});
    }
    if (link.isEmpty())
        return false;
    QString title;
    if (line.skipSpaces()) {
        const QChar ch1 = line.FValue.at(line.FPosition);
        if (ch1 != u'"' && ch1 != u'\'' && ch1 != u'(')
            return false;
        ++line.FPosition;
        title = line.readUntil({ch1 == u'(' ? u')' : ch1.unicode()});
        if (title.isEmpty())
            return false;
    }
    if (id.toLower() == u"$profile$"_s && !FConfig->answerMode()) {
        if (link.toLower() == u"extended"_s) {
            FuseExtensions = true;
            FConfig->SetDialect(mdExtended);
        }
        pendingTitleRef.reset();
        return true;
    }
    auto ref =
        std::make_shared<TLinkRef>(TLinkRef{link, title, !title.isEmpty() && link == u"*"_s});
    Femitter->addLinkRef(id, ref);
    if (title.isEmpty())
        pendingTitleRef = std::move(ref);
    return true;
}
