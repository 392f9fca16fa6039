#include "platform/printer/pdfprinter.h"

#include "core/errors.h"

#include <QFile>
#include <QPrinter>
#include <cstring>
#include <new>
#include <vector>

namespace platform {

namespace {

// A 24-bit picture whose rows have room for 32 bits becomes opaque 32-bit in the same memory:
// one pass, where Qt's own conversion would reallocate and widen pixel by pixel.
bool widenInPlace(QImage &picture)
{
    const int width = picture.width();
    // A picture shared with someone else is left to Qt: detaching it would copy it with packed rows.
    if (picture.format() != QImage::Format_RGB888 || !picture.isDetached()
        || picture.bytesPerLine() < qsizetype(width) * 4)
        return false;
    std::vector<uchar> row(std::size_t(width) * 3);
    for (int y = 0; y < picture.height(); ++y) {
        uchar *line = picture.scanLine(y);
        std::memcpy(row.data(), line, row.size());
        auto *out = reinterpret_cast<QRgb *>(line);
        const uchar *in = row.data();
        for (int x = 0; x < width; ++x, in += 3)
            out[x] = qRgb(in[0], in[1], in[2]);
    }
    // The widened view keeps the 24-bit image, and so its memory, alive.
    auto *owner = new QImage(std::move(picture));
    picture = QImage(owner->bits(), width, owner->height(), owner->bytesPerLine(), QImage::Format_RGB32,
                     [](void *image) { delete static_cast<QImage *>(image); }, owner);
    return true;
}

} // namespace

PdfFilePrinter::PdfFilePrinter(QString outputPath, int dpiX, int dpiY, QPageLayout layout)
    : m_outputPath(std::move(outputPath)), m_dpiX(dpiX), m_dpiY(dpiY), m_layout(std::move(layout))
{
}

PdfFilePrinter::~PdfFilePrinter()
{
    abortDoc();
}

QPageLayout PdfFilePrinter::a4Layout(const QMarginsF &marginsMm)
{
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, marginsMm, QPageLayout::Millimeter);
}

void PdfFilePrinter::beginDoc()
{
    if (printing())
        throw core::Error(QStringLiteral("The printer is already printing"));
    if (m_dpiX <= 0 || m_dpiY <= 0)
        throw core::Error(QStringLiteral("Invalid printer resolution"));
    m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    m_printer->setOutputFormat(QPrinter::PdfFormat);
    m_printer->setOutputFileName(m_outputPath);
    m_printer->setFullPage(false);
    m_printer->setPageLayout(m_layout);
    m_printer->setResolution(m_dpiX);
    m_printer->setDocName(m_title);
    if (!m_painter.begin(m_printer.get())) {
        m_printer.reset();
        throw core::Error(QStringLiteral("The print job could not be started"));
    }
    // The device works at dpiX in both directions; one printer pixel down is dpiX/dpiY of its units.
    if (m_dpiY != m_dpiX)
        m_painter.scale(1.0, qreal(m_dpiX) / m_dpiY);
}

void PdfFilePrinter::drawStretched(const QRect &destination, QImage picture)
{
    if (!printing())
        throw core::Error(QStringLiteral("Printer is not currently printing"));
    // Qt's PDF engine turns every picture that is not 32-bit into an ARGB32 copy and then scans
    // it for a soft mask; an opaque 32-bit picture spares both.
    if (picture.format() != QImage::Format_RGB32 && !picture.hasAlphaChannel()) {
        if (!widenInPlace(picture))
            picture.convertTo(QImage::Format_RGB32);
        if (picture.format() != QImage::Format_RGB32 || picture.isNull())
            throw std::bad_alloc(); // Qt would silently draw nothing
    }
    m_painter.drawImage(QRectF(destination), picture);
}

void PdfFilePrinter::endDoc()
{
    if (!printing())
        throw core::Error(QStringLiteral("Printer is not currently printing"));
    const bool ended = m_painter.end();
    const bool failed = !ended || m_printer->printerState() == QPrinter::Error;
    m_printer.reset();
    if (failed) {
        QFile::remove(m_outputPath);
        throw core::Error(QStringLiteral("The print job could not be written"));
    }
}

void PdfFilePrinter::abortDoc()
{
    if (!printing())
        return;
    m_printer->abort();
    m_painter.end();
    m_printer.reset();
    QFile::remove(m_outputPath);
}

} // namespace platform
