#include "office/components.h"

#include "office/classes.h"

namespace office {

TOleServer::TOleServer(QUuid classId, ServerRegistry &registry) : m_classId(classId), m_registry(registry) {}

TOleServer::~TOleServer() = default;

void TOleServer::Loaded()
{
    if (AutoConnect)
        Connect();
}

void TOleServer::Connect()
{
    if (m_object)
        return;
    ObjectRef object;
    if (ConnectKind == ckRunningOrNew)
        object = m_registry.runningInstance(m_classId);
    if (!object)
        object = m_registry.createInstance(m_classId);
    m_object = std::move(object);
}

void TOleServer::ConnectTo(ObjectRef object)
{
    Disconnect();
    m_object = std::move(object);
}

void TOleServer::Disconnect()
{
    release();
}

Variant TOleServer::invoke(const QString &name, const QList<Variant> &args, Lcid locale)
{
    Connect();
    return call(m_object, name, args, locale);
}

void TOleApplicationServer::Disconnect()
{
    if (!Connected())
        return;
    if (AutoQuit) {
        // The reference goes whether or not the instance manages to quit.
        struct ReleaseOnExit {
            TOleApplicationServer *server;
            ~ReleaseOnExit() { server->release(); }
        } releaseOnExit{this};
        Quit();
        return;
    }
    release();
}

void TOleApplicationServer::disconnectQuietly() noexcept
{
    try {
        Disconnect();
    } catch (...) {
        release();
    }
}

TWordDocument::TWordDocument(ServerRegistry &registry) : TOleServer(classes::WordDocument, registry)
{
    ConnectKind = ckNewInstance;
}

TWordApplication::TWordApplication(ServerRegistry &registry) : TOleApplicationServer(classes::WordApplication, registry)
{
}

TWordApplication::~TWordApplication()
{
    disconnectQuietly();
}

void TWordApplication::Quit(const Variant &SaveChanges, const Variant &OriginalFormat, const Variant &RouteDocument)
{
    invoke(QStringLiteral("Quit"), {SaveChanges, OriginalFormat, RouteDocument});
}

ObjectRef ExcelWorkbooks::Open(const Variant &Filename, const Variant &UpdateLinks, const Variant &ReadOnly,
                               const Variant &Format, const Variant &Password, const Variant &WriteResPassword,
                               const Variant &IgnoreReadOnlyRecommended, const Variant &Origin,
                               const Variant &Delimiter, const Variant &Editable, const Variant &Notify,
                               const Variant &Converter, const Variant &AddToMru, const Variant &Local,
                               const Variant &CorruptLoad, Lcid lcid)
{
    return call(m_collection, QStringLiteral("Open"),
                {Filename, UpdateLinks, ReadOnly, Format, Password, WriteResPassword, IgnoreReadOnlyRecommended,
                 Origin, Delimiter, Editable, Notify, Converter, AddToMru, Local, CorruptLoad},
                lcid)
        .toObjectOrNull();
}

TExcelApplication::TExcelApplication(ServerRegistry &registry)
    : TOleApplicationServer(classes::ExcelApplication, registry)
{
}

TExcelApplication::~TExcelApplication()
{
    disconnectQuietly();
}

ExcelWorkbooks TExcelApplication::Workbooks()
{
    return ExcelWorkbooks(invoke(QStringLiteral("Workbooks")).toObject());
}

ObjectRef TExcelApplication::ActiveWorkbook()
{
    return invoke(QStringLiteral("ActiveWorkbook")).toObjectOrNull();
}

void TExcelApplication::Quit()
{
    invoke(QStringLiteral("Quit"));
}

TExcelWorkbook::TExcelWorkbook(ServerRegistry &registry) : TOleServer(classes::ExcelWorkbook, registry) {}

void TExcelWorkbook::PrintOut(const Variant &From, const Variant &To, const Variant &Copies, const Variant &Preview,
                              const Variant &ActivePrinter, const Variant &PrintToFile, const Variant &Collate,
                              const Variant &PrToFileName, Lcid lcid)
{
    invoke(QStringLiteral("PrintOut"), {From, To, Copies, Preview, ActivePrinter, PrintToFile, Collate, PrToFileName},
           lcid);
}

void TExcelWorkbook::Save(Lcid lcid)
{
    invoke(QStringLiteral("Save"), {}, lcid);
}

void TExcelWorkbook::Close(const Variant &SaveChanges, const Variant &Filename, const Variant &RouteWorkbook,
                           Lcid lcid)
{
    invoke(QStringLiteral("Close"), {SaveChanges, Filename, RouteWorkbook}, lcid);
}

} // namespace office
