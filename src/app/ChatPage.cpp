#include "app/ChatPage.h"

#include "page/AnswerBlock.h"
#include "page/FailureBlock.h"
#include "page/PictureLink.h"
#include "text/JsonText.h"

#include <QAction>
#include <QDesktopServices>
#include <QMenu>
#include <QUrl>
#include <QUuid>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <optional>

namespace {

// Only web and mail links leave the program: a link to a local file could start
// whatever the desktop associates with it.
void openInBrowser(const QUrl& url) {
    const QString scheme = url.scheme();
    if (scheme == u"https" || scheme == u"http" || scheme == u"mailto")
        QDesktopServices::openUrl(url);
}

// A JavaScript string literal holding text exactly.
QString scriptString(const QString& text) {
    JsonWriter writer;
    writer.string(text);
    return QString::fromLatin1(writer.text());
}

// The page never leaves the document the program put there. The program itself only
// loads pages by address (a typed navigation); anything the page starts (a refresh, a
// redirect, a form, history, a script) is refused. Every link of the page opens in a new
// window (the page's base target), so a link the user clicks arrives here as a request
// for one, marked as the user's, and goes to the user's browser; a jump within the page
// still scrolls to its target.
class ChatWebPage : public QWebEnginePage {
public:
    // Receive the token of a failure block's "Повторить" link, or of an answer's
    // "Продолжить" link, the user clicked.
    std::function<void(const QString&)> OnRetry;
    std::function<void(const QString&)> OnContinue;
    // Receives the fragment of any other link within the page; true when it was an action.
    std::function<bool(const QString&)> OnAction;

    explicit ChatWebPage(QObject* parent) : QWebEnginePage(parent) {
        connect(this, &QWebEnginePage::newWindowRequested, this,
                [this](QWebEngineNewWindowRequest& request) {
                    if (request.isUserInitiated())
                        OpenLink(request.requestedUrl());
                });
    }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        // The program's own local pages (the key help page) hold no answers; their links
        // still go to the browser.
        if (type == NavigationTypeLinkClicked && this->url().isLocalFile())
            openInBrowser(url);
        return isMainFrame && type == NavigationTypeTyped;
    }

    // A window the page asks for is never made.
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }

private:
    void OpenLink(const QUrl& url) {
        const bool withinPage = url.hasFragment() && url.matches(this->url(), QUrl::RemoveFragment);
        if (!withinPage) {
            openInBrowser(url);
            return;
        }
        const QString fragment = url.fragment();
        if (fragment.startsWith(kRetryFragmentPrefix)) {
            if (OnRetry)
                OnRetry(fragment.sliced(kRetryFragmentPrefix.size()));
        } else if (fragment.startsWith(kContinueFragmentPrefix)) {
            if (OnContinue)
                OnContinue(fragment.sliced(kContinueFragmentPrefix.size()));
        } else if (!OnAction || !OnAction(fragment)) {
            runJavaScript(QStringLiteral("var target = document.getElementById(%1); "
                                         "if (target) target.scrollIntoView();")
                              .arg(scriptString(fragment)));
        }
    }
};

const QUrl kBlank(QStringLiteral("about:blank"));

constexpr QLatin1StringView
    kFindContainer("var container = document.getElementById('chat-container');");

// The browser's own menu (back, reload, view source) would let the user take the page
// away; the page's menu only copies.
void giveOwnContextMenu(QWebEngineView* view) {
    auto* menu = new QMenu(view);
    menu->setObjectName(QStringLiteral("ChatPageMenu"));
    QAction* copy = menu->addAction(QStringLiteral("Копировать"));
    copy->setObjectName(QStringLiteral("ChatPageCopy"));
    QAction* selectAll = menu->addAction(QStringLiteral("Выделить всё"));
    selectAll->setObjectName(QStringLiteral("ChatPageSelectAll"));
    QObject::connect(copy, &QAction::triggered, view,
                     [view] { view->page()->triggerAction(QWebEnginePage::Copy); });
    QObject::connect(selectAll, &QAction::triggered, view,
                     [view] { view->page()->triggerAction(QWebEnginePage::SelectAll); });
    copy->setEnabled(false);
    QObject::connect(view, &QWebEngineView::selectionChanged, copy,
                     [view, copy] { copy->setEnabled(view->hasSelection()); });
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(view, &QWidget::customContextMenuRequested, menu,
                     [view, menu](const QPoint& at) { menu->popup(view->mapToGlobal(at)); });
}
// The live block's wrapper as `live`, and whether the view is at the bottom as `follow`.
constexpr QLatin1StringView
    kFindLive("var live = null; (window.tovikLiveNodes || []).forEach(function (n) { "
              "if (!live && n.querySelector && n.querySelector('.live-settled')) live = n; });"
              " var root = document.scrollingElement || document.documentElement;"
              " var follow = root.scrollTop + window.innerHeight >= root.scrollHeight - 40;");

// Parses the html in %1 into `block`, inert, without meta elements or link targets.
constexpr QLatin1StringView
    kParseBlock("var block = document.createElement('template'); "
                "block.innerHTML = %1; block.content.querySelectorAll('meta')"
                ".forEach(function (m) { m.remove(); }); "
                "block.content.querySelectorAll('[target]').forEach(function (e) { "
                "e.removeAttribute('target'); });");

} // namespace

ChatPage::ChatPage(QWebEngineView* view)
    : QObject(view), m_view(view), m_actionToken(QUuid::createUuid().toString(QUuid::Id128)) {
    auto* page = new ChatWebPage(m_view);
    page->OnRetry = [this](const QString& token) { Q_EMIT RetryRequested(token); };
    page->OnContinue = [this](const QString& token) { Q_EMIT ContinueRequested(token); };
    page->OnAction = [this](const QString& fragment) {
        if (const std::optional<QString> key = ParsePictureFragment(fragment, m_actionToken)) {
            Q_EMIT PictureSaveRequested(*key);
            return true;
        }
        const std::optional<MessageActionLink> link =
            ParseMessageActionFragment(fragment, m_actionToken);
        if (link)
            Q_EMIT MessageActionRequested(link->Action, link->Index);
        return link.has_value();
    };
    m_view->setPage(page);
    giveOwnContextMenu(m_view);
    connect(m_view->page(), &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status) {
                if (status != QWebEnginePage::NormalTerminationStatus)
                    Q_EMIT RenderProcessGone();
            });
    connect(m_view->page(), &QWebEnginePage::loadingChanged, this, &ChatPage::LoadingChanged);
    connect(m_view, &QWebEngineView::loadStarted, this, [this] { m_loading = true; });
    connect(m_view, &QWebEngineView::loadFinished, this, &ChatPage::LoadFinished);
}

void ChatPage::ShowBlank() {
    // Scripts still waiting were meant for the page being replaced.
    m_held.removeIf([](const Pending& pending) { return !pending.done; });
    m_hasPage = true;
    m_loading = true;
    m_blankAskedFor = true;
    m_view->setUrl(kBlank);
}

void ChatPage::WriteDocument(const QString& html) {
    if (!m_hasPage)
        ShowBlank();
    Run(QStringLiteral("document.open(); document.write(%1); document.close();")
            .arg(scriptString(html)));
}

// The block is parsed inert first: a refresh in it must never take effect, not even one
// to an empty page, which the web engine does not let the navigation filter see; and its
// links follow the page's base target, so the user's clicks reach the browser.
void ChatPage::InsertIntoContainer(const QString& html, bool atStart) {
    Run(kFindContainer + QStringLiteral(" if (container) { ") +
        QString(kParseBlock).arg(scriptString(html)) +
        QStringLiteral(" container.insertBefore(block.content, %1); }")
            .arg(atStart ? QStringLiteral("container.firstChild") : QStringLiteral("null")));
}

void ChatPage::AppendToContainer(const QString& html) {
    InsertIntoContainer(html, false);
}

// What the user is reading stays in place: the engine keeps the view anchored to it
// when content grows above.
void ChatPage::PrependToContainer(const QString& html) {
    InsertIntoContainer(html, true);
}

void ChatPage::RemoveRetryLinks() {
    Run(QStringLiteral("document.querySelectorAll('a.retry-btn, a.continue-btn')"
                       ".forEach(function (e) { e.remove(); });"));
}

void ChatPage::ShowLiveBlock(const QString& html) {
    ReplaceLiveBlock(html, true);
}

void ChatPage::EndLiveBlock(const QString& html) {
    ReplaceLiveBlock(html, false);
}

void ChatPage::UpdateLiveBlock(const QString& settledHtml, const QString& tailHtml,
                               const QString& status) {
    Run(kFindLive + QStringLiteral(" if (live) {") +
        QString(kParseBlock).arg(scriptString(settledHtml)) +
        QStringLiteral(" var settled = live.querySelector('.live-settled');"
                       " settled.appendChild(block.content);"
                       // Finished blocks are final: their formulas and code are typeset now.
                       " if (window.typesetBlocks) typesetBlocks(settled);") +
        QString(kParseBlock).arg(scriptString(tailHtml)) +
        QStringLiteral(" live.querySelector('.live-tail').replaceChildren(block.content);"
                       " live.querySelector('.live-status').textContent = %1;"
                       " if (follow) window.scrollTo(0, root.scrollHeight); }")
            .arg(scriptString(status)));
}

void ChatPage::SetLiveStatus(const QString& status) {
    Run(kFindLive +
        QStringLiteral(" if (live) live.querySelector('.live-status').textContent = %1;")
            .arg(scriptString(status)));
}

// The nodes of the live block are remembered on the page, so each change touches them
// alone however long the chat is.
void ChatPage::ReplaceLiveBlock(const QString& html, bool keepLive) {
    Run(kFindContainer + QStringLiteral(" if (container) { ") +
        QString(kParseBlock).arg(scriptString(html)) +
        QStringLiteral(
            " var root = document.scrollingElement || document.documentElement;"
            " var follow = root.scrollTop + window.innerHeight >= root.scrollHeight - 40;"
            " var nodes = Array.prototype.slice.call(block.content.childNodes);"
            " var old = window.tovikLiveNodes || [];"
            " var anchor = old.length && old[0].parentNode === container ? old[0] : null;"
            " container.insertBefore(block.content, anchor);"
            " old.forEach(function (n) { if (n.parentNode) n.parentNode.removeChild(n); });"
            " window.tovikLiveNodes = %1 ? nodes : null;"
            " if (follow) window.scrollTo(0, root.scrollHeight); }")
            .arg(keepLive ? u"true" : u"false"));
}

void ChatPage::ScrollBy(int pixels) {
    Run(kFindContainer + QStringLiteral(" if (container) window.scrollBy(0, %1);").arg(pixels));
}

void ChatPage::ScrollToBottom() {
    Run(kFindContainer +
        QStringLiteral(" if (container) window.scrollTo(0, container.scrollHeight);"));
}

void ChatPage::ScrollToLastBlock() {
    Run(kFindContainer +
        QStringLiteral(" if (container && container.lastElementChild) "
                       "container.lastElementChild.scrollIntoView({block: 'end'});"));
}

// Each message's blocks are found by the bar its first block holds, so the page needs no
// marks of its own on them.
void ChatPage::RemoveMessages(qsizetype first, qsizetype count) {
    Run(kFindContainer +
        QStringLiteral(
            " if (!container) return; var first = %1, count = %2, current = -1, gone = [];"
            " Array.from(container.childNodes).forEach(function (node) {"
            " var bar = node.querySelector ? node.querySelector(':scope > .message-actions') : "
            "null;"
            " if (bar) current = Number(bar.dataset.item);"
            " if (current >= first && current < first + count) { gone.push(node); return; }"
            " if (!bar || current < first + count) return;"
            " var moved = String(current - count); bar.dataset.item = moved;"
            " bar.querySelectorAll('a').forEach(function (a) {"
            " a.setAttribute('href', a.getAttribute('href').replace(/-[0-9]+$/, '-' + moved)); });"
            " }); gone.forEach(function (node) { container.removeChild(node); });")
            .arg(first)
            .arg(count));
}

void ChatPage::MarkLastAnswer(qsizetype index) {
    MarkMessage(QStringLiteral("last-answer"), index);
}

void ChatPage::MarkEditedQuestion(qsizetype index) {
    MarkMessage(QStringLiteral("edited"), index);
}

// The mark goes on the message's bar; only one message has it at a time.
void ChatPage::MarkMessage(const QString& mark, qsizetype index) {
    Run(kFindContainer +
        QStringLiteral(" if (!container) return;"
                       " container.querySelectorAll(':scope > * > .message-actions.%1')"
                       ".forEach(function (bar) { bar.classList.remove('%1'); });"
                       " var bar = container.querySelector("
                       "':scope > * > .message-actions[data-item=\"%2\"]');"
                       " if (bar) bar.classList.add('%1');")
            .arg(mark)
            .arg(index));
}

void ChatPage::Evaluate(const QString& script, ResultHandler done) {
    Run(script, std::move(done));
}

void ChatPage::Run(const QString& script, ResultHandler done) {
    // Each script in its own scope and with its own failure, so a join of several
    // behaves exactly like running them one after another.
    Pending pending{
        done ? script : QStringLiteral("try { (function () { %1 })(); } catch (e) {}").arg(script),
        std::move(done)};
    if (!m_loading) {
        Send(pending);
        return;
    }
    if (!pending.done && !m_held.isEmpty() && !m_held.last().done)
        m_held.last().script += u'\n' + pending.script;
    else
        m_held.append(std::move(pending));
}

void ChatPage::Send(const Pending& pending) {
    // The view runs scripts in the order they are handed over.
    if (pending.done)
        m_view->page()->runJavaScript(pending.script, pending.done);
    else
        m_view->page()->runJavaScript(pending.script);
}

// An empty page the program did not ask for (a reload, a step back in history, a link
// to one) goes past the navigation filter; once it has loaded, the chat has to be shown
// again. Loads asked for in quick succession may end as one.
void ChatPage::LoadingChanged(const QWebEngineLoadingInfo& info) {
    if (info.url() != kBlank || info.status() != QWebEngineLoadingInfo::LoadSucceededStatus)
        return;
    if (!std::exchange(m_blankAskedFor, false))
        QMetaObject::invokeMethod(this, &ChatPage::DocumentReplaced, Qt::QueuedConnection);
}

void ChatPage::LoadFinished() {
    m_loading = false;
    // Nothing to go back or forward to.
    m_view->history()->clear();
    const QList<Pending> held = std::exchange(m_held, {});
    for (const Pending& pending : held)
        Send(pending);
}
