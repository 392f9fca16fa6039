#include "office/libreoffice/officeservers.h"

#include "office/classes.h"

namespace office::libreoffice {

namespace {

enum class App { Word, Excel };

// A logical Word or Excel instance: the documents it opened, on the shared host.
struct Instance {
    struct Item {
        OfficeHost::Document document;
        bool open = true;
    };

    App app;
    std::shared_ptr<OfficeHost> host;
    std::vector<std::shared_ptr<Item>> items; // in the order opened
    bool ended = false;

    // The document or workbook opened last that is still open.
    std::shared_ptr<Item> active() const
    {
        for (auto it = items.rbegin(); it != items.rend(); ++it)
            if ((*it)->open)
                return *it;
        return nullptr;
    }

    std::shared_ptr<Item> open(const QString &path, const QString &factory = QString())
    {
        auto item = std::make_shared<Item>();
        // Word only reads (so no lock or temporary file appears beside the document); Excel saves back.
        item->document = host->load(path, app == App::Word ? OfficeHost::Access::ReadOnly : OfficeHost::Access::ReadWrite,
                                    factory);
        items.push_back(item);
        return item;
    }

    void close(Item &item)
    {
        item.open = false;
        host->close(item.document);
    }

    // Closes every document without saving and without a question.
    void end() noexcept
    {
        if (ended)
            return;
        ended = true;
        for (const auto &item : items) {
            if (!item->open)
                continue;
            try {
                close(*item);
            } catch (...) {
                // A document the host cannot close any more is gone with the host.
            }
        }
        items.clear();
    }
};

AutomationError disconnected()
{
    return AutomationError(QStringLiteral("The object invoked has disconnected from its clients."), RPC_E_DISCONNECTED);
}

AutomationError unknownName()
{
    return AutomationError(QStringLiteral("Unknown name."), DISP_E_UNKNOWNNAME);
}

bool is(const QString &name, const char *candidate)
{
    return name.compare(QLatin1String(candidate), Qt::CaseInsensitive) == 0;
}

class ItemObject : public AutomationObject {
public:
    ItemObject(std::shared_ptr<Instance> instance, std::shared_ptr<Instance::Item> item, ObjectRef application)
        : m_instance(std::move(instance)), m_item(std::move(item)), m_application(std::move(application))
    {
    }

    Variant invoke(const QString &name, const QList<Variant> &, Lcid) override
    {
        if (m_instance->ended || !m_item->open)
            throw disconnected();
        OfficeHost &host = *m_instance->host;
        if (is(name, "PrintOut")) {
            host.print(m_item->document);
        } else if (is(name, "Close")) {
            m_instance->close(*m_item);
        } else if (m_instance->app == App::Excel && is(name, "Save")) {
            // Writing back can lose what LibreOffice does not support, so an unchanged workbook
            // (a printed one) stays as it is.
            if (host.isModified(m_item->document))
                host.store(m_item->document);
        } else {
            throw unknownName();
        }
        return Variant();
    }

private:
    std::shared_ptr<Instance> m_instance;
    std::shared_ptr<Instance::Item> m_item;
    ObjectRef m_application; // a document keeps its application alive
};

class CollectionObject : public AutomationObject {
public:
    CollectionObject(std::shared_ptr<Instance> instance, ObjectRef application)
        : m_instance(std::move(instance)), m_application(std::move(application))
    {
    }

    Variant invoke(const QString &name, const QList<Variant> &args, Lcid) override
    {
        if (m_instance->ended)
            throw disconnected();
        if (!is(name, "Open"))
            throw unknownName();
        const QString path = args.value(0).toString();
        return Variant::fromObject(std::make_shared<ItemObject>(m_instance, m_instance->open(path), m_application));
    }

private:
    std::shared_ptr<Instance> m_instance;
    ObjectRef m_application;
};

class ApplicationObject : public AutomationObject, public std::enable_shared_from_this<ApplicationObject> {
public:
    explicit ApplicationObject(std::shared_ptr<Instance> instance) : m_instance(std::move(instance)) {}
    // An instance nobody refers to any more ends, as one started for automation does.
    ~ApplicationObject() override { m_instance->end(); }

    Variant invoke(const QString &name, const QList<Variant> &, Lcid) override
    {
        if (m_instance->ended)
            throw disconnected();
        const bool word = m_instance->app == App::Word;
        if (is(name, "Quit")) {
            m_instance->end();
            return Variant();
        }
        if (is(name, word ? "Documents" : "Workbooks"))
            return Variant::fromObject(std::make_shared<CollectionObject>(m_instance, shared_from_this()));
        if (is(name, word ? "ActiveDocument" : "ActiveWorkbook"))
            return Variant::fromObject(activeItem());
        throw unknownName();
    }

    ObjectRef activeItem()
    {
        auto item = m_instance->active();
        return item ? std::make_shared<ItemObject>(m_instance, std::move(item), shared_from_this()) : nullptr;
    }

    ObjectRef newItem(const QString &factory)
    {
        return std::make_shared<ItemObject>(m_instance, m_instance->open(QString(), factory), shared_from_this());
    }

    bool ended() const { return m_instance->ended; }

private:
    std::shared_ptr<Instance> m_instance;
};

// What the servers of one application share: the host and the instance registered as running.
struct AppState {
    App app;
    std::shared_ptr<OfficeHost> host;
    std::weak_ptr<ApplicationObject> running;

    std::shared_ptr<ApplicationObject> start()
    {
        auto instance = std::make_shared<Instance>();
        instance->app = app;
        instance->host = host;
        auto application = std::make_shared<ApplicationObject>(std::move(instance));
        running = application;
        return application;
    }

    std::shared_ptr<ApplicationObject> runningInstance() const
    {
        auto application = running.lock();
        return application && !application->ended() ? application : nullptr;
    }
};

class ApplicationServer : public AutomationServer {
public:
    explicit ApplicationServer(std::shared_ptr<AppState> state) : m_state(std::move(state)) {}
    ObjectRef createInstance() override { return m_state->start(); }
    ObjectRef runningInstance() override { return m_state->runningInstance(); }

private:
    std::shared_ptr<AppState> m_state;
};

// The document or workbook class: a new one starts an instance with a new, empty document;
// the running one is the running instance's active document.
class ItemServer : public AutomationServer {
public:
    ItemServer(std::shared_ptr<AppState> state, QString factory) : m_state(std::move(state)), m_factory(std::move(factory)) {}
    ObjectRef createInstance() override { return m_state->start()->newItem(m_factory); }
    ObjectRef runningInstance() override
    {
        const auto application = m_state->runningInstance();
        return application ? application->activeItem() : nullptr;
    }

private:
    std::shared_ptr<AppState> m_state;
    QString m_factory;
};

} // namespace

LibreOfficeServers::LibreOfficeServers(HostSettings settings, ServerRegistry &registry)
    : m_host(std::make_shared<OfficeHost>(std::move(settings)))
{
    auto word = std::make_shared<AppState>(AppState{App::Word, m_host, {}});
    auto excel = std::make_shared<AppState>(AppState{App::Excel, m_host, {}});
    const auto add = [&](const QUuid &classId, const QStringList &progIds, std::shared_ptr<AutomationServer> server) {
        m_registrations.push_back(std::make_unique<ServerRegistration>(classId, progIds, std::move(server), registry));
    };
    add(classes::WordApplication, {classes::WordApplicationProgId}, std::make_shared<ApplicationServer>(word));
    add(classes::WordDocument, {classes::WordDocumentProgId}, std::make_shared<ItemServer>(word, QStringLiteral("swriter")));
    add(classes::ExcelApplication, {classes::ExcelApplicationProgId}, std::make_shared<ApplicationServer>(excel));
    add(classes::ExcelWorkbook, {}, std::make_shared<ItemServer>(excel, QStringLiteral("scalc")));
}

LibreOfficeServers::~LibreOfficeServers()
{
    m_registrations.clear();
    m_host->shutdown();
}

} // namespace office::libreoffice
