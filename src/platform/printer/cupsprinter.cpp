#include "platform/printer/cupsprinter.h"

#include "core/errors.h"
#include "platform/printer/pdfprinter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>
#include <QPrinter>
#include <QPrinterInfo>

#include <cmath>
#include <cups/cups.h>

namespace platform {

namespace {

struct DestDeleter {
    void operator()(cups_dest_t *dest) const { cupsFreeDests(1, dest); }
};
struct InfoDeleter {
    void operator()(cups_dinfo_t *info) const { cupsFreeDestInfo(info); }
};

[[noreturn]] void throwCupsError(const QString &what)
{
    const char *reason = cupsLastErrorString();
    throw core::Error(what + (reason && *reason ? QStringLiteral(": ") + QString::fromUtf8(reason) : QString()));
}

QByteArray utf8OrNull(const QString &text)
{
    return text.isEmpty() ? QByteArray() : text.toUtf8();
}

} // namespace

CupsPrinter::CupsPrinter() = default;

CupsPrinter::~CupsPrinter()
{
    abortDoc();
}

CupsPrinter::QueueDefaults CupsPrinter::queryDefaults()
{
    const QByteArray queue = utf8OrNull(m_queue);
    const QByteArray instance = utf8OrNull(m_instance);
    std::unique_ptr<cups_dest_t, DestDeleter> dest(cupsGetNamedDest(
        CUPS_HTTP_DEFAULT, queue.isNull() ? nullptr : queue.constData(), instance.isNull() ? nullptr : instance.constData()));
    if (!dest)
        throwCupsError(m_queue.isEmpty() ? QStringLiteral("There is no default printer")
                                         : QStringLiteral("Printer %1 is not available").arg(m_queue));
    std::unique_ptr<cups_dinfo_t, InfoDeleter> info(cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest.get()));
    if (!info)
        throwCupsError(QStringLiteral("Printer %1 does not answer").arg(QString::fromUtf8(dest->name)));

    QueueDefaults defaults;
    if (ipp_attribute_t *resolution = cupsFindDestDefault(CUPS_HTTP_DEFAULT, dest.get(), info.get(), "printer-resolution")) {
        int yres = 0;
        ipp_res_t units = IPP_RES_PER_INCH;
        const int xres = ippGetResolution(resolution, 0, &yres, &units);
        const double perInch = units == IPP_RES_PER_CM ? 2.54 : 1.0;
        defaults.dpi = QSize(int(std::lround(xres * perInch)), int(std::lround(yres * perInch)));
    } else {
        // A queue that names no default resolution prints at what Qt's print device offers.
        const int dpi = QPrinter(QPrinterInfo::printerInfo(QString::fromUtf8(dest->name)), QPrinter::HighResolution).resolution();
        defaults.dpi = QSize(dpi, dpi);
    }

    // The queue's own default paper; cupsGetDestMediaDefault alone falls back to Letter.
    cups_size_t size {};
    bool haveMedia = false;
    if (ipp_attribute_t *media = cupsFindDestDefault(CUPS_HTTP_DEFAULT, dest.get(), info.get(), "media")) {
        const char *name = ippGetString(media, 0, nullptr);
        haveMedia = name && cupsGetDestMediaByName(CUPS_HTTP_DEFAULT, dest.get(), info.get(), name, CUPS_MEDIA_FLAGS_DEFAULT, &size);
    }
    if (!haveMedia)
        haveMedia = cupsGetDestMediaDefault(CUPS_HTTP_DEFAULT, dest.get(), info.get(), 0, &size);
    if (haveMedia) {
        // cups_size_t is in hundredths of millimetres.
        defaults.layout = QPageLayout(QPageSize(QSizeF(size.width / 100.0, size.length / 100.0), QPageSize::Millimeter),
                                      QPageLayout::Portrait,
                                      QMarginsF(size.left / 100.0, size.top / 100.0, size.right / 100.0, size.bottom / 100.0),
                                      QPageLayout::Millimeter);
        defaults.media = QByteArray(size.media);
    } else {
        defaults.layout = PdfFilePrinter::a4Layout();
    }

    if (m_queue.isEmpty()) {
        m_queue = QString::fromUtf8(dest->name);
        m_instance = dest->instance ? QString::fromUtf8(dest->instance) : QString();
    }
    return defaults;
}

const CupsPrinter::QueueDefaults &CupsPrinter::knownDefaults()
{
    if (!m_defaults)
        m_defaults = queryDefaults();
    return *m_defaults;
}

int CupsPrinter::resolutionX()
{
    m_defaults.reset();
    return knownDefaults().dpi.width();
}

int CupsPrinter::resolutionY()
{
    return knownDefaults().dpi.height();
}

void CupsPrinter::beginDoc()
{
    if (m_job && m_job->printing())
        throw core::Error(QStringLiteral("The printer is already printing"));
    const QueueDefaults &defaults = knownDefaults();
    QTemporaryFile spool(QDir::tempPath() + QStringLiteral("/orvenna-job-XXXXXX.pdf"));
    if (!spool.open())
        throw core::Error(QStringLiteral("No spool file: ") + spool.errorString());
    spool.setAutoRemove(false); // the job writes it anew; endDoc and abortDoc remove it
    m_job = std::make_unique<PdfFilePrinter>(spool.fileName(), defaults.dpi.width(), defaults.dpi.height(), defaults.layout);
    m_job->setTitle(m_title);
    m_job->beginDoc();
}

void CupsPrinter::drawStretched(const QRect &destination, QImage picture)
{
    if (!m_job)
        throw core::Error(QStringLiteral("Printer is not currently printing"));
    m_job->drawStretched(destination, std::move(picture));
}

void CupsPrinter::endDoc()
{
    if (!m_job || !m_job->printing())
        throw core::Error(QStringLiteral("Printer is not currently printing"));
    const std::unique_ptr<PdfFilePrinter> job = std::move(m_job);
    const QString spoolPath = job->outputPath();
    job->endDoc();

    // Submitted here rather than by Qt's CUPS engine, which ignores a refused submission and
    // passes the title in the locale's encoding; CUPS wants UTF-8.
    cups_option_t *options = nullptr;
    int optionCount = cupsAddOption("document-format", "application/pdf", 0, &options);
    if (!m_defaults->media.isEmpty())
        optionCount = cupsAddOption("media", m_defaults->media.constData(), optionCount, &options);
    const int jobId = cupsPrintFile2(CUPS_HTTP_DEFAULT, m_queue.toUtf8().constData(), QFile::encodeName(spoolPath).constData(),
                                     m_title.toUtf8().constData(), optionCount, options);
    cupsFreeOptions(optionCount, options);
    QFile::remove(spoolPath);
    if (jobId == 0)
        throwCupsError(QStringLiteral("The print job was refused"));
}

void CupsPrinter::abortDoc()
{
    if (m_job)
        m_job->abortDoc(); // removes the spool file; nothing reached the queue
    m_job.reset();
}

} // namespace platform
