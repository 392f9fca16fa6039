#include "gui/uMain.h"

#include "core/handoff.h"
#include "core/pagefit.h"
#include "core/printentry.h"
#include "gui/rotatebitmap.h"
#include "gui/uInputAFloat.h"
#include "platform/application.h"
#include "platform/filesystem.h"
#include "platform/jpeg/jpegimage.h"
#include "platform/messagebox.h"
#include "platform/printer/cupsprinter.h"
#include "platform/textfile.h"
#include "platform/tmppath.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSessionManager>

#include <optional>

namespace gui {

using platform::guarded;

namespace {

QFont fontByName(const QString &family, int pixelHeight)
{
    QFont font(family);
    font.setPixelSize(pixelHeight);
    return font;
}

const QString kSongTi = QStringLiteral("宋体");

// Design geometry, in pixels at 96 dpi.
constexpr int kPanel1Height = 49;
constexpr int kPanel2Height = 44;
constexpr int kRightButtonMargin = TfrmMain::DesignClientWidth - 547; // cmdPrint, Button3
constexpr int kEditLeft = 72;
constexpr int kEditRightMargin = TfrmMain::DesignClientWidth - 72 - 469;

} // namespace

TfrmMain::TfrmMain(QWidget *parent)
    : QWidget(parent),
      m_screenHadPalette(QGuiApplication::primaryScreen() && QGuiApplication::primaryScreen()->depth() <= 8)
{
    buildControls();
    FormCreate(this);
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::buildControls()
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("连续打印"));
    setWindowFlags(Qt::Window);
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    setFont(fontByName(kSongTi, 12));
    resize(DesignClientWidth, DesignClientHeight);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(2);

    Label1 = new ClickableLabel(QStringLiteral(" < "), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(16, 2, 43, 39);
    Label1->setFont(fontByName(QStringLiteral("Tahoma"), 32));

    Label3 = new QLabel(QStringLiteral("Orvenna-文书批量打印"), Panel1);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setFont(fontByName(kSongTi, 17));
    Label3->move(72, 15);
    Label3->adjustSize();

    cmdPrint = new TaggedButton(QStringLiteral("连续打印"), Panel1);
    cmdPrint->setObjectName(QStringLiteral("cmdPrint"));
    cmdPrint->setGeometry(547, 9, 81, 33);

    Panel2 = new QFrame(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);

    Label2 = new QLabel(QStringLiteral("文档源目录"), Panel2);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->move(8, 15);
    Label2->adjustSize();

    EditSouPath = new QLineEdit(Panel2);
    EditSouPath->setObjectName(QStringLiteral("EditSouPath"));
    EditSouPath->setGeometry(kEditLeft, 10, 469, 23);
    EditSouPath->setReadOnly(true);
    EditSouPath->setFont(fontByName(kSongTi, 15));
    QPalette tipColours = EditSouPath->palette();
    tipColours.setColor(QPalette::Base, tipColours.color(QPalette::ToolTipBase));
    EditSouPath->setPalette(tipColours);

    Button3 = new TaggedButton(QStringLiteral("选择操作"), Panel2);
    Button3->setObjectName(QStringLiteral("Button3"));
    Button3->setGeometry(547, 7, 81, 33);

    ListFiles = new CheckListBox(this);
    ListFiles->setObjectName(QStringLiteral("ListFiles"));
    ListFiles->setFont(fontByName(kSongTi, 15));
    ListFiles->setItemHeight(15);

    setTabOrder(ListFiles, cmdPrint);
    setTabOrder(cmdPrint, EditSouPath);
    setTabOrder(EditSouPath, Button3);
    ListFiles->setFocus();

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    N1 = PopupMenu1->addAction(QStringLiteral("全选"));
    N2 = PopupMenu1->addAction(QStringLiteral("全不选"));
    N3 = PopupMenu1->addAction(QStringLiteral("反选"));
    N4 = PopupMenu1->addSeparator();
    N5 = PopupMenu1->addAction(QStringLiteral("重置打印份数"));
    N1->setObjectName(QStringLiteral("N1"));
    N2->setObjectName(QStringLiteral("N2"));
    N3->setObjectName(QStringLiteral("N3"));
    N4->setObjectName(QStringLiteral("N4"));
    N5->setObjectName(QStringLiteral("N5"));

    TimerAutoPrint = new QTimer(this);
    TimerAutoPrint->setObjectName(QStringLiteral("TimerAutoPrint"));
    TimerAutoPrint->setInterval(200);

    setUpOfficeComponents();

    connect(Label1, &ClickableLabel::clicked, this, [this] { guarded([&] { Label1Click(Label1); }); });
    connect(cmdPrint, &QPushButton::clicked, this, [this] { guarded([&] { cmdPrintClick(cmdPrint); }); });
    connect(Button3, &QPushButton::clicked, this, [this] { guarded([&] { Button3Click(Button3); }); });
    connect(N1, &QAction::triggered, this, [this] { guarded([&] { N1Click(N1); }); });
    connect(N2, &QAction::triggered, this, [this] { guarded([&] { N2Click(N2); }); });
    connect(N3, &QAction::triggered, this, [this] { guarded([&] { N3Click(N3); }); });
    connect(N5, &QAction::triggered, this, [this] { guarded([&] { N5Click(N5); }); });
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &session) {
        if (!runCloseQuery())
            session.cancel();
    });
    connect(TimerAutoPrint, &QTimer::timeout, this,
            [this] { guarded([&] { TimerAutoPrintTimer(TimerAutoPrint); }); });
}

void TfrmMain::FormCreate(QObject *)
{
    IsFirstAct = true;
    HasPrint = false;
    DefaultPageWidth = 210;
    DefaultPageHeight = 297;
    TmpFilePath = platform::TmpFilePath();
}

void TfrmMain::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int w = width();
    Panel1->setGeometry(0, 0, w, kPanel1Height);
    Panel2->setGeometry(0, kPanel1Height, w, kPanel2Height);
    const int listTop = kPanel1Height + kPanel2Height;
    ListFiles->setGeometry(0, listTop, w, std::max(0, height() - listTop));
    cmdPrint->move(w - kRightButtonMargin, cmdPrint->y());
    Button3->move(w - kRightButtonMargin, Button3->y());
    EditSouPath->resize(std::max(0, w - kEditLeft - kEditRightMargin), EditSouPath->height());
}

void TfrmMain::centreOnScreen()
{
    QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const QSize outer = frameGeometry().size();
    move(area.x() + (area.width() - outer.width()) / 2, area.y() + (area.height() - outer.height()) / 2);
}

void TfrmMain::showEvent(QShowEvent *event)
{
    if (!m_shownOnce) {
        m_shownOnce = true;
        centreOnScreen();
        // Without a window manager nothing activates the window; the first activation must
        // still happen, so it is also posted once the window is shown.
        QTimer::singleShot(0, this, [this] { guarded([&] { FormActivate(this); }); });
    }
    QWidget::showEvent(event);
}

bool TfrmMain::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        guarded([&] { FormActivate(this); });
    return QWidget::event(event);
}

void TfrmMain::setLeft(int value)
{
    move(value, Top());
}

void TfrmMain::setTop(int value)
{
    move(Left(), value);
}

void TfrmMain::setWidth(int value)
{
    resize(value - (Width() - width()), height());
}

void TfrmMain::setHeight(int value)
{
    resize(width(), value - (Height() - height()));
}

// ---- Closing -----------------------------------------------------------------------------

void TfrmMain::closeEvent(QCloseEvent *event)
{
    if (!runCloseQuery()) {
        event->ignore();
        return;
    }
    CloseAction Action = CloseAction::caHide;
    FormClose(this, Action);
    if (Action == CloseAction::caNone) {
        event->ignore();
        return;
    }
    if (Action == CloseAction::caFree)
        setAttribute(Qt::WA_DeleteOnClose);
    event->accept();
}

void TfrmMain::FormClose(QObject *, CloseAction &Action)
{
    Action = CloseAction::caFree;
}

void TfrmMain::Label1Click(QObject *)
{
    close();
}

void TfrmMain::FormCloseQuery(QObject *, bool &)
{
    if (!HasPrint)
        return;
    WordDocument.Disconnect();
    WordApplication.Disconnect();
    ExcelWorkbook1.Disconnect();
    ExcelApplication.Disconnect();
    WordApplication.Quit();
    ExcelApplication.Quit();
}

bool TfrmMain::runCloseQuery()
{
    // An error of the Office shutdown is shown and the close goes on: otherwise a Word or Excel
    // that cannot be reached would keep the window open, or an unattended run hidden, for good.
    bool CanClose = true;
    guarded([&] { FormCloseQuery(this, CanClose); });
    return CanClose;
}

// ---- Hand-off files ----------------------------------------------------------------------

namespace {

// The plain pair when its parameter file exists, else the SP pair when its one does.
std::optional<core::HandOffPair> presentHandOffPair(const QString &tmpFilePath)
{
    for (const core::HandOffPair &pair : {core::plainHandOffPair(tmpFilePath), core::spHandOffPair(tmpFilePath)}) {
        if (platform::fileEntryExists(pair.parameterFile))
            return pair;
    }
    return std::nullopt;
}

struct HandOffContent {
    QStringList parameters;
    QStringList entries;
};

// Both files in full, the parameter file first; nothing is applied before both are read.
HandOffContent readHandOffPair(const core::HandOffPair &pair)
{
    HandOffContent content;
    content.parameters = platform::readTextFileLines(pair.parameterFile);
    content.entries = platform::readTextFileLines(pair.dataFile);
    return content;
}

void deleteHandOffPair(const core::HandOffPair &pair)
{
    platform::deleteFileQuietly(pair.parameterFile);
    platform::deleteFileQuietly(pair.dataFile);
}

} // namespace

void TfrmMain::FormActivate(QObject *)
{
    if (!IsFirstAct)
        return;
    IsFirstAct = false;

    const std::optional<core::HandOffPair> pair = presentHandOffPair(TmpFilePath);
    if (!pair)
        return;
    const bool sp = pair->kind == core::HandOffKind::SP;
    const HandOffContent content = readHandOffPair(*pair);
    const QStringList &lines = content.parameters;

    int line = 0;
    DocPath = core::lineAt(lines, line++);
    EditSouPath->setText(DocPath);
    const QString autoPrintFlag = sp ? core::lineAt(lines, line++) : QString();
    // Each value is converted right before it is applied, so a bad line leaves the ones before it.
    setLeft(core::integerLineAt(lines, line++));
    setTop(core::integerLineAt(lines, line++));
    setWidth(core::integerLineAt(lines, line++));
    setHeight(core::integerLineAt(lines, line++));
    if (sp) {
        DefaultPageWidth = core::integerLineAt(lines, line++);
        DefaultPageHeight = core::integerLineAt(lines, line++);
    }

    for (const QString &entry : content.entries)
        ListFiles->appendEntry(entry, true);

    if (!sp) {
        deleteHandOffPair(*pair);
    } else if (autoPrintFlag == QStringLiteral("1")) {
        cmdPrint->Tag = 100;
        TimerAutoPrint->start();
    }
}

// ---- Selection commands ------------------------------------------------------------------

void TfrmMain::Button3Click(QObject *)
{
    PopupMenu1->popup(QPoint(Left() + Button3->x(), Top() + 2 * Panel1->height()));
}

void TfrmMain::N1Click(QObject *)
{
    const int n = ListFiles->entryCount();
    for (int i = 0; i < n; ++i)
        ListFiles->setChecked(i, true);
}

void TfrmMain::N2Click(QObject *)
{
    const int n = ListFiles->entryCount();
    for (int i = 0; i < n; ++i)
        ListFiles->setChecked(i, false);
}

void TfrmMain::N3Click(QObject *)
{
    const int n = ListFiles->entryCount();
    for (int i = 0; i < n; ++i)
        ListFiles->setChecked(i, !ListFiles->isChecked(i));
}

// ---- Copies reset ------------------------------------------------------------------------

void TfrmMain::N5Click(QObject *)
{
    std::int32_t number = 1;
    if (!InputAFloat(QStringLiteral("输入新的打印份数"), QString(), number))
        return;
    const QString copiesField = core::PadLeft(QString::number(number), 4);
    const int n = ListFiles->entryCount();
    for (int i = 0; i < n; ++i) {
        if (ListFiles->isChecked(i))
            ListFiles->setEntryText(i, copiesField + ListFiles->entryText(i).mid(4));
    }
}

// ---- Print run ---------------------------------------------------------------------------

namespace {

const QString kPrintConfirmation = QStringLiteral(
    "您确认操作系统默认的打印机是你当前需要输出的打印机吗？\r"
    "如果继续，软件将自动调用默认打印机自动连续打印，且不会再提示确认！\r\r"
    "打印之前，务必确认电脑已经安装了Office程序！\r"
    "打印之前，建议先关闭已经打开的Word/Excel文件！退出本程序时，会关闭所有Word/Excel文档！是否继续打印？");

} // namespace

void TfrmMain::cmdPrintClick(TaggedButton *Sender)
{
    // A click that reaches the window while an image job lets events through is not a new run.
    if (m_printRunning)
        return;
    if (Sender->Tag != 100 && platform::MessageBox::warningYesNo(kPrintConfirmation) == platform::MsgButton::No)
        return;
    // Under way until the run ends, also when it ends in an error.
    const QScopedValueRollback running(m_printRunning, true);
    HasPrint = true;
    const int n = ListFiles->entryCount();
    for (int i = 0; i < n; ++i) {
        if (!ListFiles->isChecked(i))
            continue;
        const QString entry = ListFiles->entryText(i);
        const std::int32_t copies = core::entryCopies(entry);
        const QString fullPath = core::entryFullPath(DocPath, entry);
        switch (core::docFamily(core::entryDocType(entry))) {
        case core::DocFamily::Word:
            PrintDocX(fullPath, copies);
            break;
        case core::DocFamily::Excel:
            PrintWorkbook(fullPath, copies);
            break;
        case core::DocFamily::Image:
            for (std::int32_t copy = 0; copy < copies; ++copy)
                PrintJPG(fullPath);
            break;
        case core::DocFamily::None:
            break;
        }
    }
}

void TfrmMain::PrintWorkbook(const QString &fullPath, std::int32_t copies)
{
    try {
        LoadXls(fullPath);
        for (std::int32_t copy = 0; copy < copies; ++copy)
            ExcelWorkbook1.PrintOut();
        ExcelWorkbook1.Save();
        ExcelWorkbook1.Close();
    } catch (...) {
        // Excel errors end this entry silently; the run goes on with the next one.
    }
}

void TfrmMain::TimerAutoPrintTimer(QObject *)
{
    hide();
    TimerAutoPrint->stop();
    // An error that ends the unattended run is shown, and the program still closes rather than
    // staying hidden.
    guarded([&] { cmdPrintClick(cmdPrint); });
    close();
}

// ---- Office printing ---------------------------------------------------------------------

void TfrmMain::setUpOfficeComponents()
{
    WordDocument.ConnectKind = office::ckNewInstance;
    WordDocument.AutoConnect = false;
    WordApplication.ConnectKind = office::ckRunningOrNew;
    WordApplication.AutoConnect = false;
    WordApplication.AutoQuit = false;
    ExcelApplication.ConnectKind = office::ckNewInstance;
    ExcelApplication.AutoConnect = false;
    ExcelApplication.AutoQuit = false;
    ExcelWorkbook1.ConnectKind = office::ckRunningOrNew;
    ExcelWorkbook1.AutoConnect = false;
    for (office::TOleServer *component :
         std::initializer_list<office::TOleServer *>{&WordDocument, &WordApplication, &ExcelApplication, &ExcelWorkbook1})
        component->Loaded();
}

void TfrmMain::PrintDocX(const QString &FileName, std::int32_t Copys)
{
    using office::call;
    // Declared outside the guarded block so that every reference outlives "quit" and is
    // released on every path.
    office::ObjectRef wordApp;
    office::ObjectRef documents;
    office::ObjectRef document;
    try {
        wordApp = office::createOleObject(QStringLiteral("word.Application"));
        documents = call(wordApp, QStringLiteral("Documents")).toObject();
        QString path = FileName;
        document = call(documents, QStringLiteral("open"), {office::Variant::stringByRef(path)}).toObject();
        for (std::int32_t copy = 0; copy < Copys; ++copy)
            call(document, QStringLiteral("printout"));
        call(wordApp, QStringLiteral("quit"));
    } catch (...) {
        // Word printing reports nothing; the print run goes on with its next entry.
    }
}

void TfrmMain::LoadXls(const QString &SelDocFile)
{
    using office::Variant;
    ExcelApplication.Connect();
    office::ExcelWorkbooks workbooks = ExcelApplication.Workbooks();
    const Variant null = Variant::null();
    const Variant zero = Variant::fromInt(0);
    const office::ObjectRef opened = workbooks.Open(Variant::fromString(SelDocFile), null, null, null, null, null,
                                                    null, null, null, null, null, null, null, zero, zero, 0);
    office::ObjectRef active = ExcelApplication.ActiveWorkbook();
    // Without an active workbook the component would connect to whatever workbook is running
    // and the print run would print and save that one.
    if (!active)
        throw office::AutomationError(QStringLiteral("Excel has no active workbook"));
    ExcelWorkbook1.ConnectTo(std::move(active));
}

// ---- Image printing ----------------------------------------------------------------------

void TfrmMain::setImagePrinter(std::shared_ptr<platform::Printer> printer)
{
    m_imagePrinter = std::move(printer);
}

platform::Printer &TfrmMain::imagePrinter()
{
    if (!m_imagePrinter)
        m_imagePrinter = std::make_shared<platform::CupsPrinter>();
    return *m_imagePrinter;
}

void TfrmMain::PrintJPG(const QString &SouJPGFile)
{
    try {
        platform::Printer &printer = imagePrinter();
        const int dpiX = printer.resolutionX();
        const int dpiY = printer.resolutionY();
        const core::PageSize page = core::pageSizeInPixels(DefaultPageWidth, DefaultPageHeight, dpiX, dpiY);

        platform::JpegImage image = platform::JpegImage::load(SouJPGFile);
        QImage picture;
        int width = image.width();
        int height = image.height();
        if (core::turnsForPage(width, height, page)) {
            picture = decodeTurned(image, m_screenHadPalette);
            image = {}; // the turned bitmap replaces the compressed data
            width = picture.width();
            height = picture.height();
        }
        const core::PageRect rect = core::fitAndCentre(width, height, page);

        printer.setTitle(QStringLiteral("图片打印 "));
        try {
            printer.beginDoc();
            if (picture.isNull())
                picture = image.decode(m_screenHadPalette);
            printer.drawStretched(QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top),
                                  std::move(picture));
            QCoreApplication::processEvents();
            printer.endDoc();
        } catch (...) {
            printer.abortDoc();
            throw;
        }
    } catch (...) {
        platform::MessageBox::showMessage(QStringLiteral("没有打印机，请选择打印机！ "));
    }
}

} // namespace gui
