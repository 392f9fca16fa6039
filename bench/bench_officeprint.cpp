// Word and Excel printing through the LibreOffice host against a shell loop of
// `soffice --headless -p` over the same files, both to the capturing queue of a private CUPS
// scheduler, in the same run: the host's start-up time and both totals (until every job has
// been captured).
//
//   bench_officeprint [documents-per-kind]

#include "gui/uMain.h"
#include "office/libreoffice/officeservers.h"
#include "platform/application.h"
#include "platform/messagebox.h"
#include "support/cupsscheduler.h"
#include "support/officefiles.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QUrl>

namespace {

QTextStream out(stdout);

bool waitForAllJobs(const testsupport::CupsScheduler &cups, int count)
{
    return cups.waitForJobs(count, 600000) && cups.waitUntilIdle(600000);
}

} // namespace

int main(int argc, char **argv)
{
    platform::Application app(argc, argv);
    const int perKind = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 20;
    platform::MessageBox::setAnsweringMode(true);

    testsupport::CupsScheduler cups;
    QString error;
    if (!cups.start(&error)) {
        out << "no private CUPS scheduler: " << error << Qt::endl;
        return 1;
    }
    QTemporaryDir work;
    QStringList files;
    {
        office::libreoffice::OfficeHost maker;
        for (int i = 0; i < perKind; ++i) {
            files << work.filePath(QStringLiteral("letter%1.docx").arg(i));
            testsupport::writeTextDocument(maker, files.last(), testsupport::DocxFilter,
                                           QStringLiteral("Letter number %1").arg(i));
            files << work.filePath(QStringLiteral("sheet%1.xlsx").arg(i));
            testsupport::writeWorkbook(maker, files.last(), testsupport::XlsxFilter, QStringLiteral("Sheet %1").arg(i));
        }
    }

    // The program's way: one host for the whole run, started by the first entry.
    qint64 startMs = 0;
    qint64 runMs = 0;
    {
        office::libreoffice::LibreOfficeServers servers;
        gui::TfrmMain form;
        const int before = cups.jobs().size();
        QElapsedTimer timer;
        timer.start();
        servers.host().run([](const auto &) {});
        startMs = timer.elapsed();
        for (const QString &file : files) {
            if (file.endsWith(QLatin1String(".docx")))
                form.PrintDocX(file, 1);
            else
                form.PrintWorkbook(file, 1);
        }
        if (!waitForAllJobs(cups, before + files.size())) {
            out << "the host's run did not deliver every job" << Qt::endl;
            return 1;
        }
        runMs = timer.elapsed();
        form.HasPrint = true;
        bool canClose = true;
        form.FormCloseQuery(&form, canClose);
    }

    // The shell loop, with a profile of its own made beforehand (as a user's would exist).
    QTemporaryDir profile;
    const QString profileArg = QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile.path()).toString();
    QProcess::execute(QStringLiteral("soffice"), {profileArg, QStringLiteral("--headless"), QStringLiteral("--terminate_after_init")});
    QStringList quoted;
    for (const QString &file : files)
        quoted << QLatin1Char('\'') + file + QLatin1Char('\'');
    const QString loop = QStringLiteral("for f in %1; do soffice '%2' --headless -p \"$f\" >/dev/null 2>&1; done")
                             .arg(quoted.join(QLatin1Char(' ')), profileArg);
    const int before = cups.jobs().size();
    QElapsedTimer timer;
    timer.start();
    QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), loop});
    if (!waitForAllJobs(cups, before + files.size())) {
        out << "the shell loop did not deliver every job" << Qt::endl;
        return 1;
    }
    const qint64 loopMs = timer.elapsed();

    out << "entries: " << perKind << " docx + " << perKind << " xlsx, one copy each" << Qt::endl;
    out << "host start-up: " << startMs << " ms" << Qt::endl;
    out << "print run through the host (start-up included): " << runMs << " ms" << Qt::endl;
    out << "shell loop of soffice --headless -p: " << loopMs << " ms" << Qt::endl;
    out << "speed-up: " << QString::number(double(loopMs) / double(qMax<qint64>(runMs, 1)), 'f', 1) << " x" << Qt::endl;
    return 0;
}
