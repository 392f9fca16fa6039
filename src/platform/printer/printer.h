#pragma once
// The printer that image printing talks to: one job at a time, drawing in printer pixels with
// (0, 0) at the top-left of the printable area. Every operation throws core::Error on failure.

#include <QImage>
#include <QRect>
#include <QString>

namespace platform {

class Printer {
public:
    virtual ~Printer() = default;

    // Pixels per inch across and down; fails when there is no printer to ask.
    virtual int resolutionX() = 0;
    virtual int resolutionY() = 0;

    virtual void setTitle(const QString &title) = 0;
    // Starts a job and its first page.
    virtual void beginDoc() = 0;
    // Draws the picture stretched to fill the destination exactly, at the picture's own resolution.
    // The printer takes the picture over and may change its memory.
    virtual void drawStretched(const QRect &destination, QImage picture) = 0;
    // Ends the page and the job; fails when no job is open.
    virtual void endDoc() = 0;
    // Cancels the open job, if any, so that nothing of it is printed.
    virtual void abortDoc() = 0;
};

} // namespace platform
