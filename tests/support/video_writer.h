#pragma once

#include <string>

namespace kestrow::test {

// A QuickTime movie as a camera writes one: `frames` one-colour frames of MJPEG ('jpeg' samples) at
// 10 a second, one chunk in 'mdat' before 'moov'.
std::string TestMovie(int width, int height, int frames, unsigned char red, unsigned char green,
                      unsigned char blue);

} // namespace kestrow::test
