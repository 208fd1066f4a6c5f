#pragma once

#include "chat/ChatState.h"
#include "store/ChatFile.h"
#include "conversation/ConversationModel.h"
#include "text/Expected.h"
#include "chat/LiveAnswer.h"
#include "service/RequestTypes.h"

#include <QObject>

#include <memory>

// The model-service module: holds the chat shown for the whole run and offers the
// operations on it. Created once at start-up, before the main window, which is handed it.
// Opening or starting a chat gives it a chat object of its own: a request that holds the
// previous one keeps writing there.
class TGeminiDM : public QObject {
    Q_OBJECT

public:
    explicit TGeminiDM(QObject* parent = nullptr);
    ~TGeminiDM() override;

    // The chat shown; requests sent now answer into it.
    const std::shared_ptr<ChatState>& Chat() const { return FChat; }
    // Shows a chat held elsewhere again, such as the one a request still answers into.
    void ShowChat(std::shared_ptr<ChatState> AChat) { FChat = std::move(AChat); }

    TChatHistory& ChatHistory() { return FChat->History; }
    const TChatHistory& ChatHistory() const { return FChat->History; }
    void SetChatHistory(const TChatHistory& history) { FChat->History = history; }

    // The chat's title and pin, written with its file.
    const ChatLabel& Label() const { return FChat->Label; }
    void SetLabel(const ChatLabel& ALabel) { FChat->Label = ALabel; }

    // Empties the conversation and its label for a new chat, which takes the default
    // parameters.
    void ClearHistory();

    // What the chat asks of the model beside its messages; kept in its file as
    // "chat_settings" when they differ from the built-in defaults.
    const ChatParameters& Parameters() const { return FChat->Parameters; }
    void SetParameters(const ChatParameters& AParameters) { FChat->Parameters = AParameters; }
    // The parameters new chats start with (settings.ini).
    const ChatParameters& DefaultParameters() const { return FDefaultParameters; }
    bool DeleteFileFromHistory(int AMessageIndex, const QString& AFileName);

    // Token estimates: half a token per UTF-16 code unit of text, 258 per inline part,
    // rounded up once on the sum.
    static int CountTokens(const TContentParts& AParts);
    static int CountTokensForHistory(const TChatHistory& AHistory);
    // A copy of the history without its oldest items until the estimate fits;
    // the newest item always stays.
    static TChatHistory TrimHistoryToTokenLimit(const TChatHistory& AHistory, int AMaxTokens);

    // Chat files (ChatFile.h). Saving replaces the file atomically: when it fails the old
    // file stays whole, the conversation is unchanged and the failure carries the system's
    // reason. Members of the file that this program does not read are written back.
    // ATime: a change of label alone keeps the file's time.
    Expected<void> SaveHistoryToFile(const QString& AFileName,
                                     ChatFileTime ATime = ChatFileTime::Now) const {
        return SaveChatToFile(*FChat, AFileName, ATime);
    }
    static Expected<void> SaveChatToFile(const ChatState& AChat, const QString& AFileName,
                                         ChatFileTime ATime = ChatFileTime::Now);
    // True only when the whole file was read into the conversation. A missing file leaves
    // the conversation as it was; a file that breaks part-way keeps the items before the
    // fault (loPartial): a caller must not write such a chat back over its file.
    ChatFileLoad LoadHistoryFromFile(const QString& AFileName);

    // Attached files (AttachmentEncoding.h). The MIME type by extension, empty for a type
    // the service is not sent.
    static QString GetMimeTypeFromFileExt(const QString& AFileName);
    // The file's content as one line of Base64, text types re-encoded to UTF-8; empty for a
    // missing or empty file, and for one that cannot be read.
    static QByteArray FileToBase64(const QString& AFileName);

    // Requests to the model service (GeminiGeneration.cpp). Each records the user's message
    // at once and returns; the answer arrives later through the callback, on this thread.
    void GenerateContent(const QString& AApiKey, const QString& AModelName,
                         const TContentParts& AParts, bool AUseGoogleSearch,
                         TStringCallback ACallback);
    void GenerateContentStream(const QString& AApiKey, const QString& AModelName,
                               const TContentParts& AParts, bool AUseGoogleSearch,
                               TStreamCallback AStreamCallback);
    // A picture is kept with the user's message (THistoryItem::Images). Once ACancel is
    // set the transfer ends and the callback is not called.
    void GenerateImage(const QString& AApiKey, const QString& AModelName, const QString& APrompt,
                       TStringCallback ACallback, CancelFlag ACancel = MakeCancelFlag());
    // The same, handing over how the request ended: the answer with all its parts, or why
    // it failed.
    void GenerateContent(const QString& AApiKey, const QString& AModelName,
                         const TContentParts& AParts, bool AUseGoogleSearch,
                         ResultCallback ACallback);
    void GenerateImage(const QString& AApiKey, const QString& AModelName, const QString& APrompt,
                       ResultCallback ACallback, CancelFlag ACancel = MakeCancelFlag());
    // The streamed text request the window uses: the answer grows as it is written, can be
    // stopped, and says how it ended (LiveAnswer.h).
    std::shared_ptr<LiveAnswer> StreamAnswer(const QString& AApiKey, const QString& AModelName,
                                             const TContentParts& AParts, bool AUseGoogleSearch,
                                             LiveAnswerEvents AEvents);

    // The service's address and how long a silent connection is tolerated; tests point
    // these at a local service.
    const QString& BaseUrl() const { return FBaseUrl; }
    void SetBaseUrl(const QString& AUrl) { FBaseUrl = AUrl; }
    int ReadTimeoutMs() const { return FReadTimeoutMs; }
    void SetReadTimeoutMs(int AMilliseconds) { FReadTimeoutMs = AMilliseconds; }
    // Address, proxy and time-out together, as the user sets them; requests already
    // running keep what they started with.
    void SetServiceSettings(const ServiceSettings& ASettings);
    ServiceEndpoint Endpoint() const {
        return {FBaseUrl, FReadTimeoutMs, FProxy, FIncludeThoughts, FChat->Parameters, FRequestSent};
    }
    // Told of every request that reached the service, with its key and model.
    void SetRequestSentHandler(std::function<void(const QString&, const QString&)> AHandler) {
        FRequestSent = std::move(AHandler);
    }

    void MarkRequestFailed(qsizetype AIndex, const QString& AReason) {
        FChat->MarkRequestFailed(AIndex, AReason);
    }

private:
    // Appends the user's message and gives what a text request sends: the history
    // trimmed to the token budget.
    TChatHistory RecordUserMessage(const TContentParts& AParts);

    std::shared_ptr<ChatState> FChat = std::make_shared<ChatState>();
    QString FBaseUrl = ServiceSettings::PublicServiceAddress();
    int FReadTimeoutMs = kDefaultTimeoutSeconds * 1000;
    ProxySettings FProxy;
    bool FIncludeThoughts = false;
    ChatParameters FDefaultParameters;
    std::function<void(const QString&, const QString&)> FRequestSent;
};
