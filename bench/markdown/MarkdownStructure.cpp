// md-structure [--without-answer-mode] [--all-differences] [FOLDER]: converts every answer of the corpus with the chat page's converter
// (answer mode) and with md4c's GitHub dialect, reduces both outputs to an element tree
// (tag names, sorted attributes, text with white space collapsed) and reports which answers
// match and the share that does. Left out of the comparison: white space between blocks, the
// page's math elements (their TeX is kept as text; md4c leaves "$" signs in the text, which
// both sides drop), the "language-" prefix of code classes, and footnotes, which md4c 0.4.8
// does not read (ours are removed, and md4c's "[^x]" text with them). Since md4c reads
// "\(", "\," and the like inside formulas as escapes, text is compared without "$", "\",
// parentheses and brackets. Images are compared as images (the page writes remote ones as
// links), addresses with their percent-encoding undone, and an empty attribute as none.
#include "markdown/MarkdownProcessor.h"

#include <md4c-html.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QUrl>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Node {
    QString tag; // empty for text
    QString text;
    QStringList attributes;
    std::vector<Node> children;
};

const QStringList kVoid = {QStringLiteral("br"), QStringLiteral("hr"), QStringLiteral("img"),
                           QStringLiteral("input")};

QString decodeEntities(const QString& text) {
    static const QRegularExpression entity(QStringLiteral("&(#x[0-9a-fA-F]+|#[0-9]+|[a-zA-Z]+);"));
    QString out;
    qsizetype last = 0;
    auto it = entity.globalMatch(text);
    while (it.hasNext()) {
        const auto m = it.next();
        out += QStringView(text).mid(last, m.capturedStart() - last);
        const QString name = m.captured(1);
        QString value;
        if (name.startsWith(u"#x"))
            value = QChar(char16_t(name.mid(2).toUInt(nullptr, 16)));
        else if (name.startsWith(u'#'))
            value = QChar(char16_t(name.mid(1).toUInt()));
        else if (name == u"amp")
            value = QStringLiteral("&");
        else if (name == u"lt")
            value = QStringLiteral("<");
        else if (name == u"gt")
            value = QStringLiteral(">");
        else if (name == u"quot")
            value = QStringLiteral("\"");
        else if (name == u"apos")
            value = QStringLiteral("'");
        else if (name == u"nbsp")
            value = QChar(0xA0);
        else
            value = m.captured(0);
        out += value;
        last = m.capturedEnd();
    }
    out += QStringView(text).mid(last);
    return out;
}

QStringList readAttributes(const QString& tag, QString name) {
    static const QRegularExpression attribute(
        QStringLiteral("([a-zA-Z_:][-a-zA-Z0-9_:.]*)(?:\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s\"'=<>`]+)))?"));
    QStringList list;
    auto it = attribute.globalMatch(tag);
    bool first = true;
    while (it.hasNext()) {
        const auto m = it.next();
        if (first) { // the tag name
            first = false;
            continue;
        }
        QString key = m.captured(1).toLower();
        QString value = decodeEntities(m.captured(2) + m.captured(3) + m.captured(4));
        if (key == u"href" || key == u"src")
            value = QUrl::fromPercentEncoding(value.toUtf8());
        if (value.isEmpty() && key != u"disabled" && key != u"checked")
            continue;
        if (name == u"code" && key == u"class") {
            value.remove(QRegularExpression(QStringLiteral("^language-")));
            value = value.section(u' ', 0, 0);
        }
        // md4c marks task items and their boxes with classes of its own.
        if ((name == u"li" || name == u"input") && key == u"class")
            continue;
        list.append(key + u'=' + value);
    }
    list.sort();
    return list;
}

// A forgiving reader of the HTML both converters write.
Node parseHtml(const QString& html) {
    Node root;
    std::vector<Node*> stack{&root};
    qsizetype p = 0;
    QString text;
    const auto flushText = [&] {
        if (!text.isEmpty()) {
            Node t;
            t.text = decodeEntities(text);
            stack.back()->children.push_back(std::move(t));
            text.clear();
        }
    };
    while (p < html.size()) {
        if (html[p] == u'<') {
            const qsizetype end = html.indexOf(u'>', p);
            const bool looksLikeTag = end > 0 && p + 1 < html.size() &&
                                      (html[p + 1].isLetter() || html[p + 1] == u'/' ||
                                       html[p + 1] == u'!');
            if (looksLikeTag) {
                flushText();
                const QString inside = html.mid(p + 1, end - p - 1);
                p = end + 1;
                if (inside.startsWith(u'!'))
                    continue;
                if (inside.startsWith(u'/')) {
                    const QString name = inside.mid(1).trimmed().toLower();
                    for (qsizetype k = qsizetype(stack.size()) - 1; k > 0; --k) {
                        if (stack[std::size_t(k)]->tag == name) {
                            stack.resize(std::size_t(k));
                            break;
                        }
                    }
                    continue;
                }
                Node element;
                element.tag = inside.section(QRegularExpression(QStringLiteral("[\\s/]")), 0, 0)
                                  .toLower();
                element.attributes = readAttributes(inside, element.tag);
                stack.back()->children.push_back(std::move(element));
                if (!kVoid.contains(stack.back()->children.back().tag) && !inside.endsWith(u'/'))
                    stack.push_back(&stack.back()->children.back());
                continue;
            }
        }
        text += html[p++];
    }
    flushText();
    return root;
}

bool isMath(const Node& node) {
    return node.tag == u"span" &&
           (node.attributes.contains(QStringLiteral("class=math-inline")) ||
            node.attributes.contains(QStringLiteral("class=math-display")));
}

bool isFootnoteMarkup(const Node& node) {
    return (node.tag == u"sup" && node.attributes.contains(QStringLiteral("class=footnote-ref"))) ||
           (node.tag == u"section" && node.attributes.contains(QStringLiteral("class=footnotes")));
}

// Writes the tree one node a line; text is merged across unwrapped elements first.
void flatten(const Node& node, std::vector<Node>& out, bool footnotes) {
    for (const Node& child : node.children) {
        if (footnotes && isFootnoteMarkup(child))
            continue;
        if (isMath(child)) {
            flatten(child, out, footnotes);
            continue;
        }
        if (child.tag.isEmpty() && !out.empty() && out.back().tag.isEmpty()) {
            out.back().text += child.text;
            continue;
        }
        Node copy = child;
        copy.children.clear();
        flatten(child, copy.children, footnotes);
        out.push_back(std::move(copy));
    }
}

void serialise(const Node& node, int depth, QString& out, bool footnotes) {
    for (const Node& child : node.children) {
        const QString indent(depth * 2, u' ');
        if (child.tag.isEmpty()) {
            QString text = child.text;
            if (footnotes)
                text.remove(QRegularExpression(QStringLiteral("\\[\\^[^\\]\\s]+\\]:?")));
            text.remove(QRegularExpression(QStringLiteral("[$\\\\()\\[\\]]")));
            text = text.simplified();
            if (!text.isEmpty())
                out += indent + QStringLiteral("\"") + text + QStringLiteral("\"\n");
            continue;
        }
        out += indent + child.tag;
        if (!child.attributes.isEmpty())
            out += QStringLiteral(" ") + child.attributes.join(QStringLiteral(" "));
        out += u'\n';
        serialise(child, depth + 1, out, footnotes);
    }
}

QString structure(const QString& html, bool footnotes) {
    const Node root = parseHtml(html);
    Node flat;
    flatten(root, flat.children, footnotes);
    QString out;
    serialise(flat, 0, out, footnotes);
    return out;
}

void appendOutput(const MD_CHAR* text, MD_SIZE size, void* userdata) {
    static_cast<std::string*>(userdata)->append(text, size);
}

QString md4c(const QByteArray& bytes) {
    std::string html;
    md_html(bytes.constData(), MD_SIZE(bytes.size()), appendOutput, &html, MD_DIALECT_GITHUB, 0);
    return QString::fromStdString(html);
}

} // namespace

int main(int argc, char** argv) {
    // --without-answer-mode: the figure of the rich dialect as the page used it before.
    bool answerMode = true;
    bool verbose = false;
    QDir dir(QStringLiteral(TOVIK_MARKDOWN_CORPUS));
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == u"--without-answer-mode")
            answerMode = false;
        else if (arg == u"--all-differences")
            verbose = true;
        else
            dir = QDir(arg);
    }
    int files = 0;
    int matching = 0;
    for (const QString& name : dir.entryList({QStringLiteral("*.md")}, QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        if (name == u"README.md" || !file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = file.readAll();
        const QString text = QString::fromUtf8(bytes);
        const bool footnotes =
            text.contains(QRegularExpression(QStringLiteral("^\\s{0,3}\\[\\^[^\\]\\s]+\\]:"),
                                             QRegularExpression::MultilineOption));
        const auto converter = TMarkdownProcessor::CreateForAnswers();
        converter->config().setRemoteImagesAsLinks(false);
        converter->config().setAnswerMode(answerMode);
        const QString ours = structure(converter->Process(text), footnotes);
        const QString theirs = structure(md4c(bytes), footnotes);
        ++files;
        const bool same = ours == theirs;
        matching += same ? 1 : 0;
        std::printf("%-10s %s%s\n", qPrintable(name), same ? "match" : "DIFFERS",
                    footnotes ? " (footnotes left out)" : "");
        if (!same) {
            const QStringList a = ours.split(u'\n');
            const QStringList b = theirs.split(u'\n');
            for (qsizetype i = 0; i < std::max(a.size(), b.size()); ++i) {
                const QString x = i < a.size() ? a[i] : QString();
                const QString y = i < b.size() ? b[i] : QString();
                if (x != y) {
                    std::printf("    line %lld\n      ours: %s\n      md4c: %s\n", i + 1,
                                qPrintable(x.left(160)), qPrintable(y.left(160)));
                    if (!verbose)
                        break;
                }
            }
        }
    }
    if (files == 0) {
        std::fprintf(stderr, "no Markdown files in %s\n", qPrintable(dir.path()));
        return 1;
    }
    std::printf("\n%d of %d answers match md4c's structure: %.0f %%\n", matching, files,
                100.0 * matching / files);
    return 0;
}
