#include "service/UploadRule.h"

#include <algorithm>

qint64 Base64Length(qint64 fileBytes) {
    return (fileBytes + 2) / 3 * 4;
}

QList<bool> FilesToUpload(const QList<qint64>& fileSizes, qint64 otherRequestBytes) {
    QList<bool> upload(fileSizes.size(), false);
    // Each inline part also costs its JSON wrapping and MIME type.
    constexpr qint64 kPartOverhead = 128;
    qint64 inlineBytes = otherRequestBytes;
    QList<qsizetype> inlineFiles;
    for (qsizetype i = 0; i < fileSizes.size(); ++i) {
        if (fileSizes[i] > kUploadThresholdBytes) {
            upload[i] = true;
        } else {
            inlineBytes += Base64Length(fileSizes[i]) + kPartOverhead;
            inlineFiles.append(i);
        }
    }
    std::stable_sort(inlineFiles.begin(), inlineFiles.end(),
                     [&](qsizetype a, qsizetype b) { return fileSizes[a] > fileSizes[b]; });
    for (const qsizetype i : inlineFiles) {
        if (inlineBytes <= kInlineRequestLimitBytes)
            break;
        upload[i] = true;
        inlineBytes -= Base64Length(fileSizes[i]) + kPartOverhead;
    }
    return upload;
}
