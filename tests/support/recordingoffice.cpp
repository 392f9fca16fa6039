#include "recordingoffice.h"

#include "office/classes.h"

#include <QFileInfo>

namespace officetest {

using office::AutomationError;
using office::ObjectRef;
using office::Variant;

constexpr office::HResult CO_E_SERVER_EXEC_FAILURE = office::HResult(0x80080005u);

QString describe(const Variant &value)
{
    if (value.isByRef() && value.baseType() == office::VT_BSTR)
        return QStringLiteral("&\"%1\"").arg(value.toString());
    switch (value.vt()) {
    case office::VT_EMPTY:
        return QStringLiteral("empty");
    case office::VT_NULL:
        return QStringLiteral("null");
    case office::VT_I4:
        return QStringLiteral("i4 %1").arg(value.toInt());
    case office::VT_BSTR:
        return QStringLiteral("\"%1\"").arg(value.toString());
    case office::VT_ERROR:
        return value.isMissing() ? QStringLiteral("missing")
                                 : QStringLiteral("error 0x%1").arg(quint32(value.errorCode()), 8, 16, QLatin1Char('0'));
    case office::VT_DISPATCH:
        return value.isObject() ? QStringLiteral("<%1>").arg(RecordingOffice::nameOf(value.toObject()))
                                : QStringLiteral("<nothing>");
    default:
        return QStringLiteral("vt %1").arg(value.vt());
    }
}

namespace {

enum class Kind { Application, Collection, Item };

struct Item {
    QString name;
    bool open = true;
};

struct Instance {
    App app;
    QString name;
    bool user = false;
    bool ended = false;
    int itemsMade = 0;
    std::vector<std::shared_ptr<Item>> items; // documents or workbooks, in the order opened
    std::weak_ptr<office::AutomationObject> application;

    std::shared_ptr<Item> active() const
    {
        for (auto it = items.rbegin(); it != items.rend(); ++it)
            if ((*it)->open)
                return *it;
        return nullptr;
    }
};

QString appName(App app)
{
    return app == App::Word ? QStringLiteral("Word") : QStringLiteral("Excel");
}

} // namespace

struct RecordingOffice::Core {
    struct Line {
        bool isCall;
        QString text;
    };
    QList<Line> lines;
    int requests = 0;
    int failingRequest = 0; // absolute request number; 0 = none
    QString failingName;
    bool noActiveItem = false;
    int failingOccurrence = 0;
    std::vector<std::shared_ptr<Instance>> instances;
    ObjectRef running[2];

    void note(const QString &text) { lines.append({false, text}); }

    // Counts the request and throws when it is the one told to fail; `line` is logged either way.
    void request(const QString &line, bool isCall, const QString &callName = QString())
    {
        ++requests;
        bool fail = requests == failingRequest;
        if (isCall && failingOccurrence > 0 && callName.compare(failingName, Qt::CaseInsensitive) == 0)
            fail = --failingOccurrence == 0 || fail;
        lines.append({isCall, fail ? line + QStringLiteral(" -> error") : line});
        if (fail)
            throw AutomationError(QStringLiteral("Recorded failure of %1").arg(line), office::E_FAIL);
    }

    void end(Instance &instance, const char *why)
    {
        if (instance.ended)
            return;
        instance.ended = true;
        note(QStringLiteral("end %1 (%2)").arg(instance.name, QLatin1String(why)));
        ObjectRef &slot = running[int(instance.app)];
        if (slot && slot == instance.application.lock())
            slot.reset();
    }

    QString nextName(App app) const
    {
        int count = 0;
        for (const auto &instance : instances)
            count += instance->app == app;
        return appName(app) + QString::number(count + 1);
    }

    std::shared_ptr<Instance> newInstance(App app, bool user)
    {
        auto instance = std::make_shared<Instance>();
        instance->app = app;
        instance->name = nextName(app);
        instance->user = user;
        instances.push_back(instance);
        return instance;
    }
};

namespace {

class RecordedObject : public office::AutomationObject, public std::enable_shared_from_this<RecordedObject> {
public:
    RecordedObject(std::shared_ptr<RecordingOffice::Core> core, std::shared_ptr<Instance> instance, Kind kind,
                   ObjectRef application, std::shared_ptr<Item> item)
        : m_core(std::move(core)), m_instance(std::move(instance)), m_kind(kind),
          m_application(std::move(application)), m_item(std::move(item))
    {
    }

    ~RecordedObject() override
    {
        m_core->note(QStringLiteral("release ") + name());
        // A started-for-automation instance lives only as long as someone holds its application.
        if (m_kind == Kind::Application && !m_instance->user)
            m_core->end(*m_instance, "released");
    }

    QString name() const
    {
        switch (m_kind) {
        case Kind::Application:
            return m_instance->name;
        case Kind::Collection:
            return m_instance->name + (m_instance->app == App::Word ? QStringLiteral(".Documents")
                                                                    : QStringLiteral(".Workbooks"));
        case Kind::Item:
            return m_instance->name + QLatin1Char('.') + m_item->name;
        }
        return QString();
    }

    Variant invoke(const QString &member, const QList<Variant> &args, office::Lcid locale) override
    {
        const auto keepAlive = shared_from_this(); // a quit may drop the last other reference
        QStringList shown;
        for (const Variant &arg : args)
            shown << describe(arg);
        m_core->request(QStringLiteral("%1.%2(%3) lcid=%4").arg(name(), member, shown.join(QStringLiteral(", ")))
                            .arg(locale),
                        true, member);
        if (m_instance->ended || (m_item && !m_item->open))
            throw AutomationError(QStringLiteral("The object invoked has disconnected from its clients."),
                                  office::RPC_E_DISCONNECTED);
        const auto is = [&](const char *candidate) {
            return member.compare(QLatin1String(candidate), Qt::CaseInsensitive) == 0;
        };
        switch (m_kind) {
        case Kind::Application:
            if (is("Quit")) {
                m_core->end(*m_instance, "quit");
                return Variant();
            }
            if (m_instance->app == App::Word ? is("Documents") : is("Workbooks"))
                return Variant::fromObject(child(Kind::Collection, nullptr));
            if (m_instance->app == App::Excel ? is("ActiveWorkbook") : is("ActiveDocument"))
                return Variant::fromObject(activeItem());
            break;
        case Kind::Collection:
            if (is("Open")) {
                const QString path = args.value(0).toString();
                if (!QFileInfo(path).isFile())
                    throw AutomationError(QStringLiteral("'%1' could not be found.").arg(path), office::E_FAIL);
                return Variant::fromObject(child(Kind::Item, addItem()));
            }
            break;
        case Kind::Item:
            if (is("PrintOut") || is("Save"))
                return Variant();
            if (is("Close")) {
                m_item->open = false;
                return Variant();
            }
            break;
        }
        throw AutomationError(QStringLiteral("Unknown name."), office::DISP_E_UNKNOWNNAME);
    }

    ObjectRef activeItem()
    {
        auto active = m_core->noActiveItem ? nullptr : m_instance->active();
        return active ? child(Kind::Item, active) : nullptr;
    }

    std::shared_ptr<Item> addItem()
    {
        auto item = std::make_shared<Item>();
        item->name = (m_instance->app == App::Word ? QStringLiteral("Doc") : QStringLiteral("Book")) +
                     QString::number(++m_instance->itemsMade);
        m_instance->items.push_back(item);
        return item;
    }

    ObjectRef child(Kind kind, std::shared_ptr<Item> item)
    {
        return std::make_shared<RecordedObject>(m_core, m_instance, kind, m_instance->application.lock(),
                                                std::move(item));
    }

private:
    std::shared_ptr<RecordingOffice::Core> m_core;
    std::shared_ptr<Instance> m_instance;
    Kind m_kind;
    ObjectRef m_application; // children keep their application alive, as COM objects do
    std::shared_ptr<Item> m_item;
};

} // namespace

namespace {

class RecordingServer : public office::AutomationServer {
public:
    RecordingServer(std::shared_ptr<RecordingOffice::Core> core, App app, bool itemClass)
        : m_core(std::move(core)), m_app(app), m_itemClass(itemClass)
    {
    }

    ObjectRef createInstance() override
    {
        m_core->request(QStringLiteral("start ") + m_core->nextName(m_app), false);
        auto instance = m_core->newInstance(m_app, false);
        auto application = std::make_shared<RecordedObject>(m_core, instance, Kind::Application, nullptr, nullptr);
        instance->application = application;
        if (!m_itemClass)
            return application;
        // A document or workbook class starts its application with one new, unsaved item.
        return application->child(Kind::Item, application->addItem());
    }

    ObjectRef runningInstance() override
    {
        const ObjectRef application = m_core->running[int(m_app)];
        if (!application) {
            m_core->request(QStringLiteral("running %1: none").arg(appName(m_app)), false);
            return nullptr;
        }
        auto *recorded = static_cast<RecordedObject *>(application.get());
        m_core->request(QStringLiteral("running ") + recorded->name(), false);
        if (!m_itemClass)
            return application;
        return recorded->activeItem();
    }

private:
    std::shared_ptr<RecordingOffice::Core> m_core;
    App m_app;
    bool m_itemClass;
};

} // namespace

RecordingOffice::RecordingOffice() : m_core(std::make_shared<Core>())
{
    namespace classes = office::classes;
    const auto add = [&](const QUuid &classId, const QStringList &progIds, App app, bool itemClass) {
        m_registrations.push_back(std::make_unique<office::ServerRegistration>(
            classId, progIds, std::make_shared<RecordingServer>(m_core, app, itemClass)));
    };
    add(classes::WordApplication, {classes::WordApplicationProgId}, App::Word, false);
    add(classes::WordDocument, {classes::WordDocumentProgId}, App::Word, true);
    add(classes::ExcelApplication, {classes::ExcelApplicationProgId}, App::Excel, false);
    add(classes::ExcelWorkbook, {}, App::Excel, true);
}

RecordingOffice::~RecordingOffice()
{
    m_registrations.clear();
    m_core->running[0].reset();
    m_core->running[1].reset();
}

QStringList RecordingOffice::log() const
{
    QStringList out;
    for (const auto &line : m_core->lines)
        out << line.text;
    return out;
}

QStringList RecordingOffice::calls() const
{
    QStringList out;
    for (const auto &line : m_core->lines)
        if (line.isCall)
            out << line.text;
    return out;
}

void RecordingOffice::clearLog()
{
    m_core->lines.clear();
}

void RecordingOffice::failAtRequest(int n)
{
    m_core->failingRequest = m_core->requests + n;
}

void RecordingOffice::setNoActiveItem(bool on)
{
    m_core->noActiveItem = on;
}

void RecordingOffice::failCall(const QString &name, int occurrence)
{
    m_core->failingName = name;
    m_core->failingOccurrence = occurrence;
}

ObjectRef RecordingOffice::startRunning(App app)
{
    auto instance = m_core->newInstance(app, true);
    m_core->note(QStringLiteral("user starts ") + instance->name);
    auto application = std::make_shared<RecordedObject>(m_core, instance, Kind::Application, nullptr, nullptr);
    instance->application = application;
    m_core->running[int(app)] = application;
    return application;
}

int RecordingOffice::instancesStarted(App app) const
{
    int count = 0;
    for (const auto &instance : m_core->instances)
        count += instance->app == app;
    return count;
}

int RecordingOffice::liveInstances(App app) const
{
    int count = 0;
    for (const auto &instance : m_core->instances)
        count += instance->app == app && !instance->ended;
    return count;
}

QString RecordingOffice::nameOf(const ObjectRef &object)
{
    const auto *recorded = dynamic_cast<const RecordedObject *>(object.get());
    return recorded ? recorded->name() : QString();
}

} // namespace officetest
