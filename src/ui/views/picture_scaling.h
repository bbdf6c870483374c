#pragma once

#include <QImage>
#include <optional>
#include <string>

#include "export/html_text.h"

namespace kestrow {

// Sizes pictures are shown at (rounded to the nearest whole pixel, halves to even).
// Chats: within 238 x 188 unchanged; else the longer side decides: taller than wide gives height
// 188, otherwise width 238.
void ChatPictureSize(int width, int height, int& shownWidth, int& shownHeight);
// The file preview box: scaled up or down so the longer side fills the box.
void PreviewPictureSize(int width, int height, int boxWidth, int boxHeight, int& shownWidth,
                        int& shownHeight);

// A chat picture: decoded, scaled smoothly when larger than the chat allows and encoded again in
// its own format; nothing when the bytes are no picture.
std::optional<TInlinePicture> ChatPicture(const std::string& bytes, const std::string& mime);
// A contact card's picture: at most 100 x 100, as BMP.
std::optional<TInlinePicture> CardPicture(const std::string& bytes);
// Decodes a picture; a null image when the bytes are none (or an empty one).
QImage DecodePicture(const std::string& bytes, QByteArray* format = nullptr);

} // namespace kestrow
