#pragma once

#include <QLatin1StringView>
#include <QString>

#include <cstdint>

// The kinds of file the open-file dialog offers as choices of their own.
enum class AttachmentGroup : std::uint8_t { Image, Audio, Video, TextOrCode, OtherText, Document };

// A type of file the program sends: its extension (without the dot, as the dialog shows it),
// the MIME type the service is told, and the dialog's group.
struct AttachmentType {
    QLatin1StringView extension;
    QLatin1StringView mimeType;
    AttachmentGroup group;
};

// The open-file dialog's filter, built from the same table as the MIME types, in Qt's form:
// "Description (*.a *.b);;Description (*.c)", every supported type first, all files last.
QString OpenDialogFilter();
