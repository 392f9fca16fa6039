#include "recordingprinter.h"

#include "core/errors.h"

namespace testsupport {

namespace {

void failIf(bool condition, const char *what)
{
    if (condition)
        throw core::Error(QString::fromLatin1(what));
}

} // namespace

QList<RecordedJob> RecordingPrinter::printedJobs() const
{
    QList<RecordedJob> printed;
    for (const RecordedJob &job : jobs)
        if (job.ended && !job.aborted)
            printed.append(job);
    return printed;
}

int RecordingPrinter::resolutionX()
{
    ++resolutionQueries;
    failIf(failure == Failure::NoPrinter, "no default printer");
    return dpiX;
}

int RecordingPrinter::resolutionY()
{
    ++resolutionQueries;
    failIf(failure == Failure::NoPrinter, "no default printer");
    return dpiY;
}

RecordedJob *RecordingPrinter::openJob()
{
    if (jobs.isEmpty() || jobs.last().ended || jobs.last().aborted)
        return nullptr;
    return &jobs.last();
}

void RecordingPrinter::beginDoc()
{
    failIf(failure == Failure::NoPrinter, "no default printer");
    failIf(openJob() != nullptr, "already printing");
    failIf(failure == Failure::Begin, "job refused");
    RecordedJob job;
    job.title = m_title;
    job.pages = 1;
    jobs.append(job);
}

void RecordingPrinter::drawStretched(const QRect &destination, QImage picture)
{
    RecordedJob *job = openJob();
    failIf(!job, "not printing");
    failIf(failure == Failure::Draw, "drawing failed");
    job->destinations.append(destination);
    job->pictures.append(std::move(picture));
}

void RecordingPrinter::endDoc()
{
    RecordedJob *job = openJob();
    failIf(!job, "not printing");
    failIf(failure == Failure::End, "job failed");
    job->ended = true;
}

void RecordingPrinter::abortDoc()
{
    if (RecordedJob *job = openJob())
        job->aborted = true;
}

} // namespace testsupport
