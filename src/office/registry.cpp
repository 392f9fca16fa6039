#include "office/registry.h"

namespace office {

ServerRegistry &ServerRegistry::global()
{
    static ServerRegistry registry;
    return registry;
}

void ServerRegistry::add(const QUuid &classId, const QStringList &progIds, std::shared_ptr<AutomationServer> server)
{
    m_entries.insert(classId, Entry{progIds, std::move(server)});
}

void ServerRegistry::remove(const QUuid &classId)
{
    m_entries.remove(classId);
}

std::shared_ptr<AutomationServer> ServerRegistry::server(const QUuid &classId) const
{
    const auto found = m_entries.constFind(classId);
    return found == m_entries.cend() ? nullptr : found->server;
}

QStringList ServerRegistry::progIds(const QUuid &classId) const
{
    return m_entries.value(classId).progIds;
}

QUuid ServerRegistry::classIdFromProgId(const QString &progId) const
{
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        if (it->progIds.contains(progId, Qt::CaseInsensitive))
            return it.key();
    }
    throw AutomationError(QStringLiteral("Invalid class string"), CO_E_CLASSSTRING);
}

const ServerRegistry::Entry &ServerRegistry::entry(const QUuid &classId) const
{
    const auto found = m_entries.constFind(classId);
    if (found == m_entries.cend() || !found->server)
        throw AutomationError(QStringLiteral("Class not registered"), REGDB_E_CLASSNOTREG);
    return *found;
}

ObjectRef ServerRegistry::createInstance(const QUuid &classId) const
{
    ObjectRef object = entry(classId).server->createInstance();
    if (!object)
        throw AutomationError(QStringLiteral("Server execution failed"), E_FAIL);
    return object;
}

ObjectRef ServerRegistry::runningInstance(const QUuid &classId) const
{
    return entry(classId).server->runningInstance();
}

ServerRegistration::ServerRegistration(const QUuid &classId, const QStringList &progIds,
                                       std::shared_ptr<AutomationServer> server, ServerRegistry &registry)
    : m_registry(registry), m_classId(classId), m_previousProgIds(registry.progIds(classId)),
      m_previous(registry.server(classId))
{
    m_registry.add(classId, progIds, std::move(server));
}

ServerRegistration::~ServerRegistration()
{
    if (m_previous)
        m_registry.add(m_classId, m_previousProgIds, m_previous);
    else
        m_registry.remove(m_classId);
}

ObjectRef createOleObject(const QString &progId, const ServerRegistry &registry)
{
    return registry.createInstance(registry.classIdFromProgId(progId));
}

} // namespace office
