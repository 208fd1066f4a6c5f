#include "ChatPageTemplate.h"

#include "MarkdownMathCode.h"

#include <QByteArray>
#include <QCryptographicHash>

namespace {

struct StyleRule {
    const char16_t* selector;
    const char16_t* declarations;
};

constexpr StyleRule kStyleRules[] = {
    {u"body", u"font-family: Segoe UI, sans-serif; line-height: 1.6; padding: 16px; color: "
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
    {u".message-content p", u"margin: 0 0 10px 0;"},
    {u".message-content p:last-child", u"margin-bottom: 0;"},
    {u".attachments", u"margin-top: 10px; font-size: 0.9em;"},
    {u".attachments ul",
     u"margin: 5px 0 0 0; padding-left: 20px; list-style-type: \"\U0001F4C1\";"},
    {u".attachments li", u"margin-bottom: 3px;"},
    {u".code-block-container", u"position: relative; margin: 15px 0;"},
    {u".code-header",
     u"background-color: #007ACC; color: #f5f5f5; padding: 5px 10px; border-top-left-radius: "
     u"8px; border-top-right-radius: 8px; font-family: Consolas, monospace; font-size: 0.85em;"},
    {u".copy-btn", u"float: right; background-color: #555; color: white; border: none; "
                   u"padding: 3px 8px; border-radius: 5px; cursor: pointer; font-size: 0.9em;"},
    {u".copy-btn:hover", u"background-color: #777;"},
    {u"pre", u"background-color: #ffffff; color: #2e8b57; padding: 15px; margin: 0; border: 1px "
             u"solid #ddd; border-bottom-left-radius: 8px; border-bottom-right-radius: 8px; "
             u"white-space: pre-wrap; word-wrap: break-word; font-family: Consolas, monospace; "
             u"font-size: 0.95em;"},
    {u"code", u"font-family: inherit;"},
    {u".generated-image", u"max-width: 100%; height: auto; border-radius: 8px;"},
    {u".display-note", u"font-size: 0.9em; color: #777;"},
    {u".live-status", u"font-size: 0.9em; color: #777; font-style: italic;"},
    {u".stopped-mark", u"margin: -14px 0 20px 4px; font-size: 0.9em; color: #777;"},
    {u".sources", u"margin: -14px 0 20px 4px; font-size: 0.9em; color: #555;"},
    {u".sources ol", u"margin: 4px 0 0 0; padding-left: 22px;"},
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

// The only inline handler a block may carry.
constexpr char16_t kCopyHandler[] = u"copyCode(this)";

QString cspHash(const QString& source) {
    const QByteArray digest =
        QCryptographicHash::hash(source.toUtf8(), QCryptographicHash::Sha256).toBase64();
    return QStringLiteral("'sha256-%1'").arg(QString::fromLatin1(digest));
}

// Answers may carry raw HTML. Only the page's own script, the copy button's handler and
// the page's own style apply; images come only from the page itself, the program and the
// formula image service, so showing an answer contacts no host of the answer's choosing.
QString contentSecurityPolicy() {
    return QStringLiteral("default-src 'none'; script-src %1 'unsafe-hashes' %2; style-src %3; "
                          "img-src data: qrc: %4; base-uri 'none'; form-action 'none'")
        .arg(cspHash(ChatPageScript()), cspHash(QString::fromUtf16(kCopyHandler)),
             cspHash(ChatPageStyle()), kFormulaImageService.toString());
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
    page += u"</script></head><body>";
    page += u"  <div id=\"chat-container\"></div></body></html>";
    return page;
}

} // namespace

const QString& ChatPageScript() {
    // The two spaces before the closing tag belong to the script's text.
    static const QString script = QStringLiteral("    ") + QString::fromUtf16(kCopyCode) +
                                  QStringLiteral("    ") + QString::fromUtf16(kAutoScrollToBottom) +
                                  QStringLiteral("  ");
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
