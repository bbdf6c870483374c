#pragma once

#include <optional>
#include <string>

#include "export/html_text.h"

namespace kestrow {

struct TAbPerson;
struct TAbNames;

// The card of one contact: picture, name block, then phones, addresses and the rest (birthday
// first) and the note, each table only when it has rows. `picture` is the thumbnail ready for
// inline use (at most 100 x 100); without one a transparent placeholder stands in. Every text from
// the backup is HTML-escaped.
std::string BuildContactCard(const TAbPerson& person, const TAbNames& names,
                             const std::optional<TInlinePicture>& picture);

// The size a picture is shown at on a card: the longer side cut to 100, the other in proportion
// (rounded, halves to even); pictures within 100 x 100 keep their size.
void CardPictureSize(int width, int height, int& shownWidth, int& shownHeight);

} // namespace kestrow
