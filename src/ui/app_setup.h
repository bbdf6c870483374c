#pragma once

namespace kestrow {

// What must happen before QApplication is created: the page scheme of the HTML panes and the media
// backend. Debian's Qt 6.4 picks GStreamer for audio, which crashes without plugins Debian does not
// install with it; its FFmpeg backend decodes AMR voicemail. A backend the user chose is kept.
void PrepareApplication();

} // namespace kestrow
