#pragma once
// LibreOffice as the program's Word and Excel: automation servers on one office host,
// registered under Word's and Excel's class ids and ProgIDs for as long as this object lives.
// An application object is a logical instance on the host that owns the documents it opened;
// a new instance is a new logical instance, not a new process. The host ends with this object.

#include "office/libreoffice/officehost.h"
#include "office/registry.h"

#include <memory>
#include <vector>

namespace office::libreoffice {

class LibreOfficeServers {
public:
    explicit LibreOfficeServers(HostSettings settings = {}, ServerRegistry &registry = ServerRegistry::global());
    ~LibreOfficeServers();
    LibreOfficeServers(const LibreOfficeServers &) = delete;
    LibreOfficeServers &operator=(const LibreOfficeServers &) = delete;

    OfficeHost &host() { return *m_host; }

private:
    std::shared_ptr<OfficeHost> m_host;
    std::vector<std::unique_ptr<ServerRegistration>> m_registrations;
};

} // namespace office::libreoffice
