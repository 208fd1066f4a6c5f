#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>

class QWebEngineView;

// Drives the chat page in the web view. Scripts run in the order they are asked for;
// while the view is loading a page they wait and then go to the loaded page together,
// so callers never wait for the view themselves.
class TChatPage : public QObject {
    Q_OBJECT

public:
    using ResultHandler = std::function<void(const QVariant&)>;

    // Gives the view a page whose links open in the user's browser.
    explicit TChatPage(QWebEngineView* view);

    // An empty page in place of whatever is shown.
    void ShowBlank();
    // Writes a whole document into the page, replacing what it shows.
    void WriteDocument(const QString& html);
    // Adds html after the chat container's content; nothing when there is no container.
    void AppendToContainer(const QString& html);
    void ScrollBy(int pixels);
    void ScrollToBottom();

    // Runs a script after everything asked for before it and hands over its result.
    void Evaluate(const QString& script, ResultHandler done);

private:
    struct Pending {
        QString script;
        ResultHandler done;
    };

    void Run(const QString& script, ResultHandler done = {});
    void Send(const Pending& pending);
    void LoadFinished();

    QWebEngineView* m_view;
    bool m_hasPage = false;
    bool m_loading = false;
    // Held back while a page loads and sent in order once it has; consecutive scripts
    // without a result handler are joined into one.
    QList<Pending> m_held;
};
