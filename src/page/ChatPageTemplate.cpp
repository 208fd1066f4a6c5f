#include "page/ChatPageTemplate.h"

#include <QByteArray>
#include <QCryptographicHash>

namespace {

struct StyleRule {
    const char16_t* selector;
    const char16_t* declarations;
};

// The page's own rules: the look of the blocks, then what keeps long content inside
// them (words and addresses break anywhere, tables and code scroll inside their box),
// failures, and a dark palette when the desktop prefers one. Text keeps the desktop's
// usual faces; Chinese, Japanese, Korean and emoji, which those lack, come from the Noto
// faces named after them, so a desktop whose fallback finds nothing still draws them.
constexpr StyleRule kStyleRules[] = {
    {u"body", u"font-family: Segoe UI, sans-serif, \"Noto Sans CJK SC\", \"Noto Color Emoji\"; "
              u"line-height: 1.6; padding: 16px; color: "
              u"#212121; background-color: #f5f5f5; font-size: 18px;"},
    {u".message-wrapper", u"max-width: 90%; margin-bottom: 20px; padding: 12px 18px; "
                          u"border-radius: 18px; box-shadow: 0 1px 3px rgba(0,0,0,0.1);"},
    {u".user-message",
     u"background-color: #e3f2fd; margin-left: auto; border-bottom-right-radius: 4px;"},
    {u".model-message",
     u"background-color: #ffffff; margin-right: auto; border-bottom-left-radius: 4px;"},
    {u".message-header", u"font-size: 0.9em; margin-bottom: 8px; color: #555;"},
    {u".message-header strong", u"color: #0d47a1;"},
    {u".model-message .message-header strong", u"color: #1565c0;"},
    {u".message-header .timestamp", u"float: right; color: #777;"},
    {u".message-content", u"overflow-wrap: anywhere;"},
    {u".message-content p", u"margin: 0 0 10px 0;"},
    {u".message-content p:last-child", u"margin-bottom: 0;"},
    {u".message-content img", u"max-width: 100%;"},
    {u".message-content a", u"color: #1565c0;"},
    {u".message-content table",
     u"display: block; max-width: 100%; width: max-content; overflow-x: auto; "
     u"border-collapse: collapse; margin: 10px 0;"},
    {u".message-content th, .message-content td",
     u"border: 1px solid #c8ccd2; padding: 6px 10px; vertical-align: top; text-align: left; "
     u"overflow-wrap: normal;"},
    {u".message-content th", u"background-color: #e8eef5; font-weight: 600;"},
    {u".message-content blockquote",
     u"margin: 0 0 10px 0; padding: 0 0 0 12px; border-left: 3px solid #c8ccd2; color: #555;"},
    {u".attachments", u"margin-top: 10px; font-size: 0.9em;"},
    {u".attachments ul",
     u"margin: 5px 0 0 0; padding-left: 20px; list-style-type: \"\U0001F4C1\";"},
    {u".attachments li", u"margin-bottom: 3px;"},
    {u".code-block-container", u"position: relative; margin: 15px 0;"},
    {u".code-header",
     u"background-color: #007ACC; color: #f5f5f5; padding: 5px 10px; border-top-left-radius: "
     u"8px; border-top-right-radius: 8px; font-family: Consolas, monospace, \"Noto Sans Mono CJK "
     u"SC\", \"Noto Color Emoji\"; font-size: 0.85em;"},
    {u".copy-btn",
     u"float: right; background-color: #555; color: white; border: none; "
     u"padding: 3px 8px; border-radius: 5px; cursor: pointer; font-size: 0.9em; "
     u"font-family: Segoe UI, sans-serif, \"Noto Sans CJK SC\", \"Noto Color Emoji\";"},
    {u".copy-btn:hover", u"background-color: #777;"},
    {u"pre", u"background-color: #ffffff; color: #2e8b57; padding: 15px; margin: 0; border: 1px "
             u"solid #ddd; border-bottom-left-radius: 8px; border-bottom-right-radius: 8px; "
             u"white-space: pre; overflow-x: auto; overflow-wrap: normal; "
             u"font-family: Consolas, monospace, \"Noto Sans Mono CJK SC\", \"Noto Color Emoji\"; "
             u"font-size: 0.95em;"},
    {u"code", u"font-family: Consolas, monospace, \"Noto Sans Mono CJK SC\", \"Noto Color Emoji\"; "
              u"font-size: 0.9em; padding: 1px 4px; "
              u"border-radius: 4px; background-color: rgba(0,0,0,0.06);"},
    {u"pre code", u"font-size: inherit; padding: 0; background: none;"},
    {u".generated-image", u"max-width: 100%; height: auto; border-radius: 8px;"},
    {u".display-note", u"font-size: 0.9em; color: #777;"},
    {u".failure-message", u"background-color: #fff5f5; border-left: 4px solid #d32f2f;"},
    {u".failure-message .message-header strong", u"color: #c62828;"},
    {u".failure-text", u"white-space: pre-wrap; font-family: Consolas, monospace, \"Noto Sans Mono "
                       u"CJK SC\", \"Noto Color Emoji\"; "
                       u"font-size: 0.85em; color: #555;"},
    {u".failure-message summary", u"cursor: pointer; color: #555; font-size: 0.9em;"},
    {u".message-content a.retry-btn",
     u"display: inline-block; margin-top: 6px; padding: 3px 12px; "
     u"border-radius: 5px; background-color: #1565c0; color: white; "
     u"text-decoration: none; font-size: 0.9em;"},
    {u".live-status", u"font-size: 0.9em; color: #777; font-style: italic;"},
    {u".stopped-mark", u"margin: -14px 0 20px 4px; font-size: 0.9em; color: #777;"},
    {u".thoughts", u"margin: 0 0 10px 0; padding: 4px 10px; border-left: 3px solid #c8ccd2; "
                   u"color: #555; font-size: 0.9em;"},
    {u".thoughts summary", u"cursor: pointer; font-style: italic;"},
    {u".part-note", u"font-size: 0.9em; color: #555; font-style: italic;"},
    {u".stop-note", u"margin: -14px 0 20px 4px; font-size: 0.9em; color: #b26a00;"},
    {u".stop-note summary", u"cursor: pointer; color: #777;"},
    {u".stop-note a.continue-btn",
     u"display: inline-block; margin-left: 6px; padding: 1px 10px; border-radius: 5px; "
     u"background-color: #1565c0; color: white; text-decoration: none;"},
    // A message's action bar sits in the gap under its block, seen while the pointer is on
    // the block or focus is in the bar; hidden, it takes no clicks from what lies under it.
    {u".message-wrapper", u"position: relative;"},
    {u".message-actions",
     u"position: absolute; right: 8px; bottom: -21px; font-size: 13px; line-height: 18px; "
     u"white-space: nowrap; user-select: none; opacity: 0; pointer-events: none;"},
    {u".message-wrapper:hover > .message-actions, .message-actions:focus-within, "
     u".message-actions.edited",
     u"opacity: 1; pointer-events: auto;"},
    {u".message-action", u"margin-left: 12px; color: #1565c0; text-decoration: none;"},
    {u".message-action:hover", u"text-decoration: underline;"},
    {u".message-action:focus-visible",
     u"outline: 2px solid #1565c0; outline-offset: 1px; border-radius: 3px;"},
    {u".message-actions .regenerate", u"display: none;"},
    {u".message-actions.last-answer .regenerate", u"display: inline;"},
    {u".message-actions.edited::before", u"content: \"✎ изменяется\"; color: #b26a00;"},
    {u".sources", u"margin: -14px 0 20px 4px; font-size: 0.9em; color: #555;"},
    {u".sources ol", u"margin: 4px 0 0 0; padding-left: 22px;"},
    {u":root", u"color-scheme: light dark;"},
    {u"@media (prefers-color-scheme: dark)",
     u"body { color: #e3e3e3; background-color: #1e1f22; } "
     u".message-wrapper { box-shadow: 0 1px 3px rgba(0,0,0,0.5); } "
     u".user-message { background-color: #1d3550; } "
     u".model-message { background-color: #2b2d31; } "
     u".message-header, .message-content blockquote, .failure-text, .failure-message summary "
     u"{ color: #b0b0b0; } "
     u".message-header strong, .model-message .message-header strong { color: #8ab4f8; } "
     u".message-header .timestamp, .display-note { color: #999; } "
     u".message-content a { color: #8ab4f8; } "
     u".message-content th, .message-content td { border-color: #4a4d52; } "
     u".message-content th { background-color: #35383d; } "
     u".message-content blockquote { border-left-color: #4a4d52; } "
     u".code-header { background-color: #0b5a94; } "
     u"pre { background-color: #18191c; color: #7fd19b; border-color: #3c3f44; } "
     u"code { background-color: rgba(255,255,255,0.1); } "
     u"pre code { background: none; } "
     u".failure-message { background-color: #3a2326; border-left-color: #ef5350; } "
     u".failure-message .message-header strong { color: #f28b82; } "
     u".message-content a.retry-btn { background-color: #3b78d8; color: white; } "
     u".live-status, .stopped-mark { color: #999; } .sources { color: #b0b0b0; } "
     u".thoughts, .part-note { color: #b0b0b0; } .thoughts { border-left-color: #4a4d52; } "
     u".stop-note { color: #f0b35a; } .message-action { color: #8ab4f8; }"},
};

// The label is remembered on the button object (not as an attribute, so the page's
// HTML does not change), which keeps a second click within two seconds from making
// "Скопировано!" the button's label for good.
constexpr char16_t kCopyCode[] =
    u"function copyCode(btn) { var pre = btn.parentElement.parentElement.getElementsByTagName("
    u"'pre')[0]; if (!pre) return; var area = document.createElement('textarea'); area.value = "
    u"pre.innerText; area.style.position = 'fixed'; area.style.opacity = '0'; "
    u"document.body.appendChild(area); area.focus(); area.select(); try { "
    u"document.execCommand('copy'); } catch (e) {} document.body.removeChild(area); if "
    u"(btn.copyLabel === undefined) btn.copyLabel = btn.innerText; clearTimeout(btn.copyTimer); "
    u"btn.innerText = 'Скопировано!'; btn.copyTimer = setTimeout(function () { btn.innerText = "
    u"btn.copyLabel; }, 2000); }";

constexpr char16_t kAutoScrollToBottom[] =
    u"function autoScrollToBottom() { window.scrollTo(0, document.body.scrollHeight); }";

// Formulas and fenced code with a language are typeset in the page, with KaTeX and
// highlight.js from the program's resources. Broken or hostile TeX shows its source in the
// error colour: expansion and sizes are bounded, and a failure of one formula or block
// leaves it as text without stopping the others.
constexpr char16_t kTypeset[] =
    u"function typesetFormula(element) { if (element.typesetDone) return; element.typesetDone = "
    u"true; var tex = element.textContent; try { katex.render(tex, element, { displayMode: "
    u"element.classList.contains('math-display'), throwOnError: false, maxExpand: 1000, "
    u"maxSize: 20, strict: 'ignore' }); } catch (e) { element.textContent = tex; "
    u"element.classList.add('katex-error'); } }"
    u"    function highlightCode(code) { if (code.typesetDone) return; code.typesetDone = true; "
    u"var language = code.className.split(' ')[0].toLowerCase().replace(/^language-/, ''); "
    u"var text = code.textContent; if (!language || language in Object.prototype || "
    u"!hljs.getLanguage(language) || text.length > 102400) return; try { code.innerHTML = "
    u"hljs.highlight(language, text, true).value; code.classList.add('hljs'); } catch (e) { "
    u"code.textContent = text; } }"
    u"    function typesetBlocks(root) { if (window.katex) "
    u"root.querySelectorAll('.math-inline, .math-display').forEach(typesetFormula); if "
    u"(window.hljs) root.querySelectorAll('pre > code[class]').forEach(highlightCode); }";

// When: as each block arrives, and all at once for the blocks already there when the page
// is parsed or a library has loaded; a long chat's blocks as they come near the view.
constexpr char16_t kTypesetAsShown[] =
    u"    var typesetLater = null;"
    u"    function startTypesetting() { var container = "
    u"document.getElementById('chat-container'); if (!container || !window.katex || "
    u"!window.hljs || container.typesetObserved) return; container.typesetObserved = true; "
    u"typesetLater = new IntersectionObserver(function (entries) { "
    u"entries.forEach(function (entry) { if (entry.isIntersecting) { "
    u"typesetLater.unobserve(entry.target); typesetBlocks(entry.target); } }); }, { "
    u"rootMargin: '2000px 0px' }); Array.from(container.children).forEach(function (block) { "
    u"typesetLater.observe(block); }); new MutationObserver(function (changes) { "
    u"changes.forEach(function (change) { var blocks = "
    u"Array.from(change.addedNodes).filter(function (node) { return node.querySelectorAll; "
    u"}); blocks.forEach(blocks.length <= 4 ? typesetBlocks : function (block) { "
    u"typesetLater.observe(block); }); }); }).observe(container, { childList: true }); }"
    u"    document.addEventListener('DOMContentLoaded', startTypesetting);"
    u"    document.addEventListener('load', function (event) { if (event.target.tagName == "
    u"'SCRIPT') startTypesetting(); }, true);";

// The libraries behind kTypeset and their styles, loaded after the page's own script so
// that nothing holds it up; the scripts run once the page is parsed.
constexpr char16_t kTypesetAssets[] =
    u"  <link rel=\"stylesheet\" href=\"qrc:/page/katex/katex.css\">"
    u"  <link rel=\"stylesheet\" href=\"qrc:/page/highlight/light.css\" "
    u"media=\"(prefers-color-scheme: light)\">"
    u"  <link rel=\"stylesheet\" href=\"qrc:/page/highlight/dark.css\" "
    u"media=\"(prefers-color-scheme: dark)\">"
    u"  <link rel=\"stylesheet\" href=\"qrc:/page/typeset.css\">"
    u"  <script defer=\"\" src=\"qrc:/page/katex/katex.min.js\"></script>"
    u"  <script defer=\"\" src=\"qrc:/page/highlight/highlight.min.js\"></script>";

// The only inline handler a block may carry.
constexpr char16_t kCopyHandler[] = u"copyCode(this)";

QString cspHash(const QString& source) {
    const QByteArray digest =
        QCryptographicHash::hash(source.toUtf8(), QCryptographicHash::Sha256).toBase64();
    return QStringLiteral("'sha256-%1'").arg(QString::fromLatin1(digest));
}

// Answers may carry raw HTML. Only the page's own script, the copy button's handler,
// the page's own style and what the program ships (KaTeX, highlight.js, their styles
// under qrc:, KaTeX's fonts inside its stylesheet) apply; images come only from the page
// itself and the program, so showing an answer contacts no host at all. A policy cannot name a
// single qrc: address, so the scheme stands for them: it holds nothing but the program's own files.
QString contentSecurityPolicy() {
    return QStringLiteral("default-src 'none'; script-src %1 'unsafe-hashes' %2 qrc:; "
                          "style-src %3 qrc:; font-src data:; img-src data: qrc:; "
                          "base-uri 'none'; form-action 'none'")
        .arg(cspHash(ChatPageScript()), cspHash(QString::fromUtf16(kCopyHandler)),
             cspHash(ChatPageStyle()));
}

QString buildTemplate() {
    QString page;
    page += u"<!DOCTYPE html><html lang=\"ru\"><head>";
    page += u"  <meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\">";
    page += u"  <meta charset=\"UTF-8\">";
    page += u"  <meta http-equiv=\"Content-Security-Policy\" content=\"";
    page += contentSecurityPolicy();
    page += u"\">";
    page += u"  <base target=\"_blank\">";
    page += u"  <style>";
    page += ChatPageStyle();
    page += u"</style>";
    page += u"  <script>";
    page += ChatPageScript();
    page += u"</script>";
    page += kTypesetAssets;
    page += u"</head><body>";
    page += u"  <div id=\"chat-container\"></div></body></html>";
    return page;
}

} // namespace

const QString& ChatPageScript() {
    // The two spaces before the closing tag belong to the script's text.
    static const QString script = QStringLiteral("    ") + QString::fromUtf16(kCopyCode) +
                                  QStringLiteral("    ") + QString::fromUtf16(kAutoScrollToBottom) +
                                  QStringLiteral("    ") + QString::fromUtf16(kTypeset) +
                                  QString::fromUtf16(kTypesetAsShown) + QStringLiteral("  ");
    return script;
}

const QString& TypesetBlocksScript() {
    static const QString script = QString::fromUtf16(kTypeset);
    return script;
}

const QString& ChatPageStyle() {
    static const QString style = [] {
        QString rules;
        for (const StyleRule& rule : kStyleRules) {
            rules += u"    ";
            rules += rule.selector;
            rules += u" { ";
            rules += rule.declarations;
            rules += u" }";
        }
        // The two spaces before the closing tag belong to the style's text.
        return rules + QStringLiteral("  ");
    }();
    return style;
}

const QString& ChatPageTemplate() {
    static const QString page = buildTemplate();
    return page;
}
