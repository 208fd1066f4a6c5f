#include "MarkdownDecorator.h"

using namespace Qt::StringLiterals;

void TDecorator::openParagraph(QString& out) {
    out += u"<p>"_s;
}
void TDecorator::closeParagraph(QString& out) {
    out += u"</p>\n"_s;
}
void TDecorator::openBlockQuote(QString& out) {
    out += u"<blockquote>"_s;
}
void TDecorator::closeBlockQuote(QString& out) {
    out += u"</blockquote>\n"_s;
}
void TDecorator::openCodeBlock(QString& out) {
    out += u"<pre><code>"_s;
}
void TDecorator::closeCodeBlock(QString& out) {
    out += u"</code></pre>\n"_s;
}
void TDecorator::openCodeSpan(QString& out) {
    out += u"<code>"_s;
}
void TDecorator::closeCodeSpan(QString& out) {
    out += u"</code>"_s;
}
void TDecorator::openHeadline(QString& out, int level) {
    out += u"<h"_s + QString::number(level);
}
void TDecorator::closeHeadline(QString& out, int level) {
    out += u"</h"_s + QString::number(level) + u">\n"_s;
}
void TDecorator::openStrong(QString& out) {
    out += u"<strong>"_s;
}
void TDecorator::closeStrong(QString& out) {
    out += u"</strong>"_s;
}
void TDecorator::openEmphasis(QString& out) {
    out += u"<em>"_s;
}
void TDecorator::closeEmphasis(QString& out) {
    out += u"</em>"_s;
}
void TDecorator::openStrike(QString& out) {
    out += u"<del>"_s;
}
void TDecorator::closeStrike(QString& out) {
    out += u"</del>"_s;
}
void TDecorator::openIns(QString& out) {
    out += u"<ins>"_s;
}
void TDecorator::closeIns(QString& out) {
    out += u"</ins>"_s;
}
void TDecorator::openMark(QString& out) {
    out += u"<mark>"_s;
}
void TDecorator::closeMark(QString& out) {
    out += u"</mark>"_s;
}
void TDecorator::openSuper(QString& out) {
    out += u"<sup>"_s;
}
void TDecorator::closeSuper(QString& out) {
    out += u"</sup>"_s;
}
void TDecorator::openSub(QString& out) {
    out += u"<sub>"_s;
}
void TDecorator::closeSub(QString& out) {
    out += u"</sub>"_s;
}
void TDecorator::openOrderedList(QString& out) {
    out += u"<ol>\n"_s;
}
void TDecorator::closeOrderedList(QString& out) {
    out += u"</ol>\n"_s;
}
void TDecorator::openUnOrderedList(QString& out) {
    out += u"<ul>\n"_s;
}
void TDecorator::closeUnOrderedList(QString& out) {
    out += u"</ul>\n"_s;
}
void TDecorator::openListItem(QString& out) {
    out += u"<li"_s;
}
void TDecorator::closeListItem(QString& out) {
    out += u"</li>\n"_s;
}
void TDecorator::checkedItem(QString& out) {
    out += u"<input checked disabled type=\"checkbox\">"_s;
}
void TDecorator::uncheckedItem(QString& out) {
    out += u"<input unchecked disabled type=\"checkbox\">"_s;
}
void TDecorator::horizontalRuler(QString& out) {
    out += u"<hr />\n"_s;
}
void TDecorator::openLink(QString& out) {
    out += u"<a"_s;
}
void TDecorator::closeLink(QString& out) {
    out += u"</a>"_s;
}
void TDecorator::openImage(QString& out) {
    out += u"<img"_s;
}
void TDecorator::closeImage(QString& out) {
    out += u"/>"_s;
}

void TDecorator::openFencedCodeBlock(QString& out, const QString& classlabel) {
    out += u"<pre><code class=\""_s + classlabel + u"\">"_s;
}
