#pragma once
// The class registry: automation servers by class id and by ProgID, creating new instances
// and handing back the running one.

#include "office/automation.h"

#include <QHash>
#include <QStringList>
#include <QUuid>

namespace office {

// One class's server. An application object that a server starts for automation and that is
// never told to quit ends its instance when its last reference is released.
class AutomationServer {
public:
    virtual ~AutomationServer() = default;
    // Starts a new instance of the class. Throws AutomationError when it cannot be started.
    virtual ObjectRef createInstance() = 0;
    // The object registered as running for the class, or null when none is running.
    virtual ObjectRef runningInstance() = 0;
};

class ServerRegistry {
public:
    // The process's registry; the program entry registers the real servers in it.
    static ServerRegistry &global();

    // Registers (or replaces) the server of `classId`; ProgIDs are matched without regard to case.
    void add(const QUuid &classId, const QStringList &progIds, std::shared_ptr<AutomationServer> server);
    void remove(const QUuid &classId);
    std::shared_ptr<AutomationServer> server(const QUuid &classId) const;
    QStringList progIds(const QUuid &classId) const;

    // Throws AutomationError "Invalid class string" (CO_E_CLASSSTRING) for an unknown ProgID.
    QUuid classIdFromProgId(const QString &progId) const;
    // Throws AutomationError "Class not registered" (REGDB_E_CLASSNOTREG) for an unknown class.
    ObjectRef createInstance(const QUuid &classId) const;
    // Null when the class has no running instance; throws for an unknown class.
    ObjectRef runningInstance(const QUuid &classId) const;

private:
    struct Entry {
        QStringList progIds;
        std::shared_ptr<AutomationServer> server;
    };
    const Entry &entry(const QUuid &classId) const;
    QHash<QUuid, Entry> m_entries;
};

// Registers a server for as long as it lives and puts back what was registered before.
class ServerRegistration {
public:
    ServerRegistration(const QUuid &classId, const QStringList &progIds, std::shared_ptr<AutomationServer> server,
                       ServerRegistry &registry = ServerRegistry::global());
    ~ServerRegistration();
    ServerRegistration(const ServerRegistration &) = delete;
    ServerRegistration &operator=(const ServerRegistration &) = delete;

private:
    ServerRegistry &m_registry;
    QUuid m_classId;
    QStringList m_previousProgIds;
    std::shared_ptr<AutomationServer> m_previous;
};

// A new instance of the class named by `progId` (CreateOleObject).
ObjectRef createOleObject(const QString &progId, const ServerRegistry &registry = ServerRegistry::global());

} // namespace office
