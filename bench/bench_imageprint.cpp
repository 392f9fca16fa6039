// Image printing of a 24-megapixel landscape JPEG on portrait A4 at 1200 dpi into a PDF file:
// time of each step and of the whole call, peak memory of the call, and djpeg on the same file.
//
//   bench_imageprint [width height]

#include "gui/rotatebitmap.h"
#include "gui/uMain.h"
#include "platform/application.h"
#include "platform/jpeg/jpegimage.h"
#include "platform/messagebox.h"
#include "platform/printer/pdfprinter.h"
#include "support/files.h"
#include "support/jpegfiles.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>

namespace {

QTextStream out(stdout);

// Smooth content with some noise, so the file compresses like a photograph.
QImage photoLike(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB888);
    QRandomGenerator random(7);
    for (int y = 0; y < height; ++y) {
        uchar *row = picture.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const int noise = int(random.bounded(24));
            row[3 * x] = uchar((x * 255 / width + noise) & 0xFF);
            row[3 * x + 1] = uchar((y * 255 / height + noise) & 0xFF);
            row[3 * x + 2] = uchar(((x + y) * 127 / (width + height) + 64 + noise) & 0xFF);
        }
    }
    return picture;
}

long statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLong();
    return -1;
}

double ms(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// One PrintJPG call in this process, as the program makes it; prints the memory figures.
int oneCall(const QString &jpeg, const QString &pdf)
{
    gui::TfrmMain form;
    form.setImagePrinter(std::make_shared<platform::PdfFilePrinter>(pdf, 1200, 1200, platform::PdfFilePrinter::a4Layout()));
    platform::MessageBox::setAnsweringMode(true);
    const long before = statusKb("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    form.PrintJPG(jpeg);
    const double elapsed = ms(timer);
    const long peak = statusKb("VmHWM:");
    const bool failed = !platform::MessageBox::takeShown().isEmpty();
    out << "call_ms " << elapsed << "\nrss_before_kb " << before << "\npeak_kb " << peak << "\nfailed " << failed << "\n";
    return failed ? 1 : 0;
}

QMap<QString, double> parse(const QByteArray &text)
{
    QMap<QString, double> values;
    for (const QByteArray &line : text.split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 2)
            values[QString::fromLatin1(parts[0])] = parts[1].toDouble();
    }
    return values;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    platform::Application app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--one-call"))
        return oneCall(args[2], args[3]);

    const int width = args.size() >= 3 ? args[1].toInt() : 6000;
    const int height = args.size() >= 3 ? args[2].toInt() : 4000;
    QTemporaryDir dir;
    const QString jpeg = dir.filePath(QStringLiteral("photo.jpg"));
    const QString pdf = dir.filePath(QStringLiteral("job.pdf"));
    testsupport::writeFile(jpeg, testsupport::encodeJpeg(photoLike(width, height), 90));
    const double decodedMb = double(width) * height * 3 / (1024 * 1024);
    out << "picture " << width << " x " << height << ", file " << QFileInfo(jpeg).size() / 1024 << " KiB, decoded 24-bit "
        << decodedMb << " MiB\n";

    // djpeg on the same file, best of three.
    double djpegMs = 1e300;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer timer;
        timer.start();
        QProcess djpeg;
        djpeg.start(QStringLiteral("djpeg"), {QStringLiteral("-outfile"), QStringLiteral("/dev/null"), jpeg});
        djpeg.waitForFinished(-1);
        djpegMs = std::min(djpegMs, ms(timer));
    }

    // The steps one by one, with the units the call uses.
    QElapsedTimer timer;
    timer.start();
    platform::JpegImage image = platform::JpegImage::load(jpeg);
    const double loadMs = ms(timer);
    timer.restart();
    QImage picture = gui::decodeTurned(image, false);
    const double decodeTurnMs = ms(timer);
    platform::PdfFilePrinter printer(pdf, 1200, 1200, platform::PdfFilePrinter::a4Layout());
    printer.beginDoc();
    timer.restart();
    printer.drawStretched(QRect(0, 823, 9921, 13228), std::move(picture));
    const double drawMs = ms(timer);
    timer.restart();
    printer.endDoc();
    const double endMs = ms(timer);

    // For comparison: the whole picture decoded, then turned in one piece.
    timer.restart();
    picture = image.decode();
    const double decodeMs = ms(timer);
    timer.restart();
    gui::RotateBitmap90(picture);
    const double turnMs = ms(timer);
    picture = {};
    image = {};

    // The whole call in a fresh process, for its peak memory.
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--one-call"), jpeg, pdf});
    child.waitForFinished(-1);
    const QMap<QString, double> call = parse(child.readAllStandardOutput());
    const double callMs = call.value(QStringLiteral("call_ms"));
    const double peakMb = (call.value(QStringLiteral("peak_kb")) - call.value(QStringLiteral("rss_before_kb"))) / 1024;

    out << "load                  " << loadMs << " ms\n"
        << "decode and turn       " << decodeTurnMs << " ms (band by band, as the call does)\n"
        << "  decode alone        " << decodeMs << " ms (whole picture)\n"
        << "  RotateBitmap90      " << turnMs << " ms (whole picture)\n"
        << "drawing               " << drawMs << " ms\n"
        << "end of job            " << endMs << " ms\n"
        << "whole call            " << callMs << " ms" << (call.value(QStringLiteral("failed")) != 0 ? " (FAILED)" : "") << "\n"
        << "djpeg                 " << djpegMs << " ms\n"
        << "call / djpeg          " << callMs / djpegMs << " (target <= 3)\n"
        << "peak memory of call   " << peakMb << " MiB above the process before it, "
        << peakMb / decodedMb << " x the decoded picture (target <= 3)\n"
        << "PDF written           " << QFileInfo(pdf).size() / 1024 << " KiB\n";
    return 0;
}
