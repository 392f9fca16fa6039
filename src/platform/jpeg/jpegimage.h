#pragma once
// The JPEG image type over libjpeg. Loading keeps the file's compressed data and the picture's
// size from its header; decoding makes the picture with the program's fixed settings.

#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>
#include <memory>

namespace platform {

class JpegImage {
public:
    JpegImage() = default;

    // Reads the whole file (refused while another process holds a write lock) and its header;
    // decodes nothing. An empty file gives an empty image of 0 × 0. Throws core::Error.
    static JpegImage load(const QString &path);
    static JpegImage fromData(QByteArray data);

    int width() const { return m_width; }
    int height() const { return m_height; }

    // Full size with block smoothing: colour to 24-bit RGB, greyscale to 8-bit with a grey
    // palette of at most 236 levels, CMYK and YCCK to 32-bit with each channel scaled by K.
    // With quantiseColour, colour pictures too become 8-bit with at most 236 colours.
    // Warnings are ignored; errors, and a picture larger than decodeMemoryLimit(), throw
    // core::Error before the picture is allocated.
    QImage decode(bool quantiseColour = false) const;

    // Bytes a decoded picture may take: a quarter of physical memory, or of the address-space
    // limit when that is lower.
    static std::uint64_t decodeMemoryLimit();

private:
    friend class JpegDecoder;
    QByteArray m_data;
    int m_width = 0;
    int m_height = 0;
};

// Decodes a picture band by band, with the same settings and the same memory rule as
// JpegImage::decode, so that a caller can transform it without holding it whole.
class JpegDecoder {
public:
    JpegDecoder(const JpegImage &image, bool quantiseColour); // throws core::Error
    ~JpegDecoder();
    JpegDecoder(const JpegDecoder &) = delete;
    JpegDecoder &operator=(const JpegDecoder &) = delete;

    int width() const;
    int height() const;
    QImage::Format format() const;
    const QList<QRgb> &colorTable() const; // of an 8-bit picture
    int nextRow() const;

    // Decodes the next count rows (fewer at the end) into rows firstRow onward of target, which
    // is width() wide and in format(). Throws core::Error.
    void readRows(QImage &target, int firstRow, int count);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace platform
