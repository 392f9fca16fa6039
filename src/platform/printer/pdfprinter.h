#pragma once
// A printer whose jobs are written to a PDF file through Qt's PDF engine, at a fixed resolution
// and page layout.

#include "platform/printer/printer.h"

#include <QPageLayout>
#include <QPainter>
#include <memory>

class QPrinter;

namespace platform {

class PdfFilePrinter : public Printer {
public:
    PdfFilePrinter(QString outputPath, int dpiX, int dpiY, QPageLayout layout);
    ~PdfFilePrinter() override;

    int resolutionX() override { return m_dpiX; }
    int resolutionY() override { return m_dpiY; }
    void setTitle(const QString &title) override { m_title = title; }
    void beginDoc() override;
    void drawStretched(const QRect &destination, QImage picture) override;
    void endDoc() override;
    void abortDoc() override;

    const QString &title() const { return m_title; }
    const QString &outputPath() const { return m_outputPath; }
    bool printing() const { return m_painter.isActive(); }

    // A4 portrait with the given margins in millimetres.
    static QPageLayout a4Layout(const QMarginsF &marginsMm = {});

private:
    QString m_outputPath;
    int m_dpiX;
    int m_dpiY;
    QPageLayout m_layout;
    QString m_title;
    std::unique_ptr<QPrinter> m_printer;
    QPainter m_painter;
};

} // namespace platform
