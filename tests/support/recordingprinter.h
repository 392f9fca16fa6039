#pragma once
// A printer that records its jobs instead of printing, for the physical printer we lack.
// Failures can be forced at each step.

#include "platform/printer/printer.h"

#include <QList>

namespace testsupport {

struct RecordedJob {
    QString title;
    int pages = 0;
    QList<QRect> destinations;
    QList<QImage> pictures;
    bool ended = false;
    bool aborted = false;
};

class RecordingPrinter : public platform::Printer {
public:
    enum class Failure { None, NoPrinter, Begin, Draw, End };

    int dpiX = 600;
    int dpiY = 600;
    Failure failure = Failure::None;

    QList<RecordedJob> jobs; // every job begun, in order
    int resolutionQueries = 0;

    // Jobs that ended normally and were not aborted.
    QList<RecordedJob> printedJobs() const;

    int resolutionX() override;
    int resolutionY() override;
    void setTitle(const QString &title) override { m_title = title; }
    void beginDoc() override;
    void drawStretched(const QRect &destination, QImage picture) override;
    void endDoc() override;
    void abortDoc() override;

private:
    RecordedJob *openJob();
    QString m_title;
};

} // namespace testsupport
