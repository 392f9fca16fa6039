#pragma once
// The main window: its controls, the state fields the rest of the program shares, and the event
// handlers. Handlers stay thin and call the units in core/, platform/ and office/.

#include <QFrame>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <memory>

#include "gui/widgets.h"
#include "office/components.h"

namespace platform {
class Printer;
}

namespace gui {

enum class CloseAction { caNone, caHide, caFree, caMinimize };

class TfrmMain : public QWidget {
    Q_OBJECT
public:
    explicit TfrmMain(QWidget *parent = nullptr);
    ~TfrmMain() override;

    // Design client size.
    static constexpr int DesignClientWidth = 643;
    static constexpr int DesignClientHeight = 467;

    // State fields.
    bool IsFirstAct = true;
    bool HasPrint = false;
    QString DocPath;
    QString TmpFilePath;
    std::int32_t DefaultPageWidth = 210;
    std::int32_t DefaultPageHeight = 297;

    // Controls.
    QFrame *Panel1 = nullptr;
    ClickableLabel *Label1 = nullptr;
    QLabel *Label3 = nullptr;
    TaggedButton *cmdPrint = nullptr;
    QFrame *Panel2 = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *EditSouPath = nullptr;
    TaggedButton *Button3 = nullptr;
    CheckListBox *ListFiles = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QAction *N1 = nullptr;
    QAction *N2 = nullptr;
    QAction *N3 = nullptr;
    QAction *N4 = nullptr;
    QAction *N5 = nullptr;
    QTimer *TimerAutoPrint = nullptr;

    // Office server components.
    office::TWordDocument WordDocument;
    office::TWordApplication WordApplication;
    office::TExcelApplication ExcelApplication;
    office::TExcelWorkbook ExcelWorkbook1;

    // Outer geometry of the window on the screen, frame included.
    int Left() const { return frameGeometry().x(); }
    int Top() const { return frameGeometry().y(); }
    int Width() const { return frameGeometry().width(); }
    int Height() const { return frameGeometry().height(); }
    void setLeft(int value);
    void setTop(int value);
    void setWidth(int value);
    void setHeight(int value);

    // Event handlers. Each may throw; the event bindings route escaping errors to the
    // application's default handler.
    void FormCreate(QObject *Sender);
    void FormActivate(QObject *Sender);
    void FormCloseQuery(QObject *Sender, bool &CanClose);
    void FormClose(QObject *Sender, CloseAction &Action);
    void Label1Click(QObject *Sender);
    void Button3Click(QObject *Sender);
    void N1Click(QObject *Sender);
    void N2Click(QObject *Sender);
    void N3Click(QObject *Sender);
    void N5Click(QObject *Sender);
    void cmdPrintClick(TaggedButton *Sender);
    void TimerAutoPrintTimer(QObject *Sender);

    // Office printing.
    void PrintDocX(const QString &FileName, std::int32_t Copys);
    void LoadXls(const QString &SelDocFile);
    // Image printing: one page per call on the image printer; shows its own failures.
    void PrintJPG(const QString &SouJPGFile);
    // The system's default printer unless replaced (tests put a recording printer here).
    void setImagePrinter(std::shared_ptr<platform::Printer> printer);
    platform::Printer &imagePrinter();

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void setUpOfficeComponents();
    void centreOnScreen();
    bool m_shownOnce = false;
    std::shared_ptr<platform::Printer> m_imagePrinter;
    const bool m_screenHadPalette; // 8 bits per pixel or fewer at start
};

} // namespace gui
