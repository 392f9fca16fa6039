#pragma once
// The four Office server components of the main window. Each holds at most one reference to
// an object of its class; every operation connects first and passes omitted optional
// arguments as missing.

#include "office/automation.h"
#include "office/registry.h"

namespace office {

enum TConnectKind { ckRunningOrNew, ckNewInstance };

class TOleServer {
public:
    TOleServer(const TOleServer &) = delete;
    TOleServer &operator=(const TOleServer &) = delete;
    virtual ~TOleServer();

    TConnectKind ConnectKind = ckRunningOrNew;
    bool AutoConnect = false;

    // Called once the settings are in place: connects when AutoConnect is set.
    void Loaded();
    // Nothing when connected; otherwise ckRunningOrNew takes the running instance and creates
    // one only when there is none, ckNewInstance always creates one. Throws on failure.
    void Connect();
    // Disconnect, then hold `object`.
    void ConnectTo(ObjectRef object);
    // Releases the reference held, if any.
    virtual void Disconnect();

    bool Connected() const { return m_object != nullptr; }
    // The object held, without connecting; null when not connected.
    const ObjectRef &Held() const { return m_object; }
    const QUuid &ClassId() const { return m_classId; }

protected:
    explicit TOleServer(QUuid classId, ServerRegistry &registry = ServerRegistry::global());
    // Connects, then calls `name` on the held object.
    Variant invoke(const QString &name, const QList<Variant> &args = {}, Lcid locale = 0);
    void release() { m_object.reset(); }

private:
    QUuid m_classId;
    ServerRegistry &m_registry;
    ObjectRef m_object;
};

// An application component: with AutoQuit set, Disconnect tells the instance to quit first.
class TOleApplicationServer : public TOleServer {
public:
    bool AutoQuit = true;
    void Disconnect() override;
    virtual void Quit() = 0;

protected:
    using TOleServer::TOleServer;
    // Disconnects without letting an error escape; for destructors.
    void disconnectQuietly() noexcept;
};

class TWordDocument : public TOleServer {
public:
    explicit TWordDocument(ServerRegistry &registry = ServerRegistry::global());
};

class TWordApplication : public TOleApplicationServer {
public:
    explicit TWordApplication(ServerRegistry &registry = ServerRegistry::global());
    ~TWordApplication() override;
    void Quit() override { Quit(Variant::missing(), Variant::missing(), Variant::missing()); }
    void Quit(const Variant &SaveChanges, const Variant &OriginalFormat = Variant::missing(),
              const Variant &RouteDocument = Variant::missing());
};

// Excel's Workbooks collection, called directly (it is not a component).
class ExcelWorkbooks {
public:
    explicit ExcelWorkbooks(ObjectRef collection) : m_collection(std::move(collection)) {}
    // The workbook the open returns.
    ObjectRef Open(const Variant &Filename, const Variant &UpdateLinks, const Variant &ReadOnly,
                   const Variant &Format, const Variant &Password, const Variant &WriteResPassword,
                   const Variant &IgnoreReadOnlyRecommended, const Variant &Origin, const Variant &Delimiter,
                   const Variant &Editable, const Variant &Notify, const Variant &Converter,
                   const Variant &AddToMru, const Variant &Local, const Variant &CorruptLoad, Lcid lcid);
    const ObjectRef &object() const { return m_collection; }

private:
    ObjectRef m_collection;
};

class TExcelApplication : public TOleApplicationServer {
public:
    explicit TExcelApplication(ServerRegistry &registry = ServerRegistry::global());
    ~TExcelApplication() override;
    ExcelWorkbooks Workbooks();
    // Null when Excel has no active workbook.
    ObjectRef ActiveWorkbook();
    void Quit() override;
};

class TExcelWorkbook : public TOleServer {
public:
    explicit TExcelWorkbook(ServerRegistry &registry = ServerRegistry::global());
    void PrintOut(const Variant &From = Variant::missing(), const Variant &To = Variant::missing(),
                  const Variant &Copies = Variant::missing(), const Variant &Preview = Variant::missing(),
                  const Variant &ActivePrinter = Variant::missing(), const Variant &PrintToFile = Variant::missing(),
                  const Variant &Collate = Variant::missing(), const Variant &PrToFileName = Variant::missing(),
                  Lcid lcid = 0);
    void Save(Lcid lcid = 0);
    void Close(const Variant &SaveChanges = Variant::missing(), const Variant &Filename = Variant::missing(),
               const Variant &RouteWorkbook = Variant::missing(), Lcid lcid = 0);
};

} // namespace office
