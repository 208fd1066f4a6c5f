#include "ConversationModel.h"

TContentPart MakeTextPart(const QString& text) {
    TContentPart part;
    part.PartType = TPartType::ptText;
    part.Text = text;
    return part;
}

TContentPart MakeInlinePart(const QString& mimeType, const QByteArray& base64Data,
                            const QString& fileName) {
    TContentPart part;
    part.PartType = TPartType::ptInlineData;
    part.MimeType = mimeType;
    part.Base64Data = base64Data;
    part.FileName = fileName;
    return part;
}
