#include "support/video_writer.h"

#include <cstdint>
#include <vector>

#include "support/contacts_writer.h"

namespace kestrow::test {

namespace {

constexpr std::uint32_t kTimeScale = 600;
constexpr std::uint32_t kFrameTicks = 60; // 10 frames a second

void Put16(std::string& out, std::uint32_t value) {
    out += static_cast<char>((value >> 8) & 0xFF);
    out += static_cast<char>(value & 0xFF);
}

void Put32(std::string& out, std::uint32_t value) {
    Put16(out, value >> 16);
    Put16(out, value & 0xFFFF);
}

std::string Atom(const char* type, const std::string& body) {
    std::string atom;
    Put32(atom, static_cast<std::uint32_t>(body.size() + 8));
    return atom + type + body;
}

// The identity transform (16.16 and 2.30 fixed point).
std::string Matrix() {
    std::string matrix;
    for (const std::uint32_t value : {0x10000u, 0u, 0u, 0u, 0x10000u, 0u, 0u, 0u, 0x40000000u}) {
        Put32(matrix, value);
    }
    return matrix;
}

std::string MovieHeader(std::uint32_t duration) {
    std::string body(12, '\0'); // version, flags, creation and modification times
    Put32(body, kTimeScale);
    Put32(body, duration);
    Put32(body, 0x10000); // rate 1.0
    Put16(body, 0x100);   // volume 1.0
    body += std::string(10, '\0') + Matrix() + std::string(24, '\0');
    Put32(body, 2); // next track id
    return Atom("mvhd", body);
}

std::string TrackHeader(std::uint32_t duration, int width, int height) {
    std::string body;
    Put32(body, 3); // enabled, in the movie
    body += std::string(8, '\0');
    Put32(body, 1); // track id
    Put32(body, 0);
    Put32(body, duration);
    body += std::string(16, '\0') + Matrix(); // reserved, layer, group, volume 0
    Put32(body, static_cast<std::uint32_t>(width) << 16);
    Put32(body, static_cast<std::uint32_t>(height) << 16);
    return Atom("tkhd", body);
}

std::string SampleDescription(int width, int height) {
    std::string entry(6, '\0');
    Put16(entry, 1); // data reference
    entry += std::string(12, '\0');
    Put32(entry, 512); // spatial quality
    Put16(entry, static_cast<std::uint32_t>(width));
    Put16(entry, static_cast<std::uint32_t>(height));
    Put32(entry, 0x480000); // 72 dpi
    Put32(entry, 0x480000);
    Put32(entry, 0);
    Put16(entry, 1); // frames per sample
    std::string compressor(32, '\0');
    compressor[0] = 12;
    compressor.replace(1, 12, "Photo - JPEG");
    entry += compressor;
    Put16(entry, 24);     // depth
    Put16(entry, 0xFFFF); // no colour table
    std::string body(4, '\0');
    Put32(body, 1);
    return Atom("stsd", body + Atom("jpeg", entry));
}

std::string SampleTable(int width, int height, const std::vector<std::uint32_t>& sizes,
                        std::uint32_t chunkOffset) {
    const auto count = static_cast<std::uint32_t>(sizes.size());
    std::string stts(4, '\0');
    Put32(stts, 1);
    Put32(stts, count);
    Put32(stts, kFrameTicks);
    std::string stsc(4, '\0');
    Put32(stsc, 1);
    Put32(stsc, 1);
    Put32(stsc, count);
    Put32(stsc, 1);
    std::string stsz(8, '\0');
    Put32(stsz, count);
    for (const std::uint32_t size : sizes) {
        Put32(stsz, size);
    }
    std::string stco(4, '\0');
    Put32(stco, 1);
    Put32(stco, chunkOffset);
    return Atom("stbl", SampleDescription(width, height) + Atom("stts", stts) + Atom("stsc", stsc) +
                            Atom("stsz", stsz) + Atom("stco", stco));
}

std::string Handler(const char* component, const char* subtype) {
    return Atom("hdlr", std::string(4, '\0') + component + subtype + std::string(13, '\0'));
}

} // namespace

std::string TestMovie(int width, int height, int frames, unsigned char red, unsigned char green,
                      unsigned char blue) {
    const std::string frame = TestJpeg(width, height, red, green, blue);
    std::string samples;
    std::vector<std::uint32_t> sizes;
    for (int i = 0; i < frames; ++i) {
        samples += frame;
        sizes.push_back(static_cast<std::uint32_t>(frame.size()));
    }
    std::string ftyp = "qt  ";
    Put32(ftyp, 0x200);
    ftyp = Atom("ftyp", ftyp + "qt  ");
    const auto chunkOffset = static_cast<std::uint32_t>(ftyp.size() + 8);
    const std::uint32_t duration = kFrameTicks * static_cast<std::uint32_t>(frames);

    std::string mdhd(12, '\0');
    Put32(mdhd, kTimeScale);
    Put32(mdhd, duration);
    Put32(mdhd, 0); // language, quality
    std::string vmhd;
    Put32(vmhd, 1);
    vmhd += std::string(8, '\0');
    std::string dref(4, '\0');
    Put32(dref, 1);
    dref += Atom("alis", std::string("\0\0\0\1", 4));
    const std::string minf =
        Atom("minf", Atom("vmhd", vmhd) + Handler("dhlr", "alis") + Atom("dinf", Atom("dref", dref)) +
                         SampleTable(width, height, sizes, chunkOffset));
    const std::string mdia = Atom("mdia", Atom("mdhd", mdhd) + Handler("mhlr", "vide") + minf);
    const std::string moov =
        Atom("moov", MovieHeader(duration) + Atom("trak", TrackHeader(duration, width, height) + mdia));
    return ftyp + Atom("mdat", samples) + moov;
}

} // namespace kestrow::test
