#pragma once
// The system's default printer, through CUPS: found by CUPS's own rules (PRINTER, LPDEST,
// lpoptions, the scheduler's default) at every call until one is found, then kept for the life
// of the object. Its resolution and paper are the queue's defaults; a job is drawn by Qt's PDF
// engine into a spool file and handed to the queue when it ends.

#include "platform/printer/printer.h"

#include <QPageLayout>
#include <QSize>
#include <memory>
#include <optional>

namespace platform {

class PdfFilePrinter;

class CupsPrinter : public Printer {
public:
    CupsPrinter();
    ~CupsPrinter() override;

    int resolutionX() override;
    int resolutionY() override;
    void setTitle(const QString &title) override { m_title = title; }
    void beginDoc() override;
    void drawStretched(const QRect &destination, QImage picture) override;
    void endDoc() override;
    void abortDoc() override;

    // The queue settled on; empty until one was found.
    QString queueName() const { return m_queue; }

private:
    struct QueueDefaults {
        QSize dpi;
        QPageLayout layout;
        QByteArray media;
    };
    QueueDefaults queryDefaults();
    // The defaults last asked of the queue, asking now when there are none yet.
    const QueueDefaults &knownDefaults();

    QString m_queue;
    QString m_instance;
    QString m_title;
    // A print asks the queue once, at its first question (the resolution across); the rest of
    // that print uses the answer.
    std::optional<QueueDefaults> m_defaults;
    std::unique_ptr<PdfFilePrinter> m_job;
};

} // namespace platform
