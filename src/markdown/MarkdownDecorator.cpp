#include "markdown/MarkdownDecorator.h"

using namespace Qt::StringLiterals;

void TDecorator::openParagraph(QString& out) {
    out += QStringView(u"<p>");
}
void TDecorator::closeParagraph(QString& out) {
    out += QStringView(u"</p>\n");
}
void TDecorator::openBlockQuote(QString& out) {
    out += QStringView(u"<blockquote>");
}
void TDecorator::closeBlockQuote(QString& out) {
    out += QStringView(u"</blockquote>\n");
}
void TDecorator::openCodeBlock(QString& out) {
    out += QStringView(u"<pre><code>");
}
void TDecorator::closeCodeBlock(QString& out) {
    out += QStringView(u"</code></pre>\n");
}
void TDecorator::openCodeSpan(QString& out) {
    out += QStringView(u"<code>");
}
void TDecorator::closeCodeSpan(QString& out) {
    out += QStringView(u"</code>");
}
void TDecorator::openHeadline(QString& out, int level) {
    out += u"<h"_s + QString::number(level);
}
void TDecorator::closeHeadline(QString& out, int level) {
    out += u"</h"_s + QString::number(level) + u">\n"_s;
}
void TDecorator::openStrong(QString& out) {
    out += QStringView(u"<strong>");
}
void TDecorator::closeStrong(QString& out) {
    out += QStringView(u"</strong>");
}
void TDecorator::openEmphasis(QString& out) {
    out += QStringView(u"<em>");
}
void TDecorator::closeEmphasis(QString& out) {
    out += QStringView(u"</em>");
}
void TDecorator::openStrike(QString& out) {
    out += QStringView(u"<del>");
}
void TDecorator::closeStrike(QString& out) {
    out += QStringView(u"</del>");
}
void TDecorator::openIns(QString& out) {
    out += QStringView(u"<ins>");
}
void TDecorator::closeIns(QString& out) {
    out += QStringView(u"</ins>");
}
void TDecorator::openMark(QString& out) {
    out += QStringView(u"<mark>");
}
void TDecorator::closeMark(QString& out) {
    out += QStringView(u"</mark>");
}
void TDecorator::openSuper(QString& out) {
    out += QStringView(u"<sup>");
}
void TDecorator::closeSuper(QString& out) {
    out += QStringView(u"</sup>");
}
void TDecorator::openSub(QString& out) {
    out += QStringView(u"<sub>");
}
void TDecorator::closeSub(QString& out) {
    out += QStringView(u"</sub>");
}
void TDecorator::openOrderedList(QString& out) {
    out += QStringView(u"<ol>\n");
}
void TDecorator::closeOrderedList(QString& out) {
    out += QStringView(u"</ol>\n");
}
void TDecorator::openUnOrderedList(QString& out) {
    out += QStringView(u"<ul>\n");
}
void TDecorator::closeUnOrderedList(QString& out) {
    out += QStringView(u"</ul>\n");
}
void TDecorator::openListItem(QString& out) {
    out += QStringView(u"<li");
}
void TDecorator::closeListItem(QString& out) {
    out += QStringView(u"</li>\n");
}
void TDecorator::checkedItem(QString& out) {
    out += u"<input checked disabled type=\"checkbox\">"_s;
}
void TDecorator::uncheckedItem(QString& out) {
    out += u"<input unchecked disabled type=\"checkbox\">"_s;
}
void TDecorator::horizontalRuler(QString& out) {
    out += QStringView(u"<hr />\n");
}
void TDecorator::openLink(QString& out) {
    out += QStringView(u"<a");
}
void TDecorator::closeLink(QString& out) {
    out += QStringView(u"</a>");
}
void TDecorator::openImage(QString& out) {
    out += QStringView(u"<img");
}
void TDecorator::closeImage(QString& out) {
    out += QStringView(u"/>");
}

void TDecorator::openFencedCodeBlock(QString& out, const QString& classlabel) {
    out += u"<pre><code class=\""_s + classlabel + u"\">"_s;
}
