#pragma once
// The tests' Office: a Word and Excel automation server that records every request with its
// arguments, keeps documents and workbooks as objects, can have a running instance, and can
// be told to fail at any request. Registered under the real class ids and ProgIDs for as long
// as it lives.

#include "office/automation.h"
#include "office/registry.h"

#include <QStringList>
#include <memory>
#include <vector>

namespace officetest {

enum class App { Word, Excel };

// One variant as the log writes it: "text", &"text" (by reference), i4 N, null, missing,
// error 0x..., empty, <object name>.
QString describe(const office::Variant &value);

class RecordingOffice {
public:
    RecordingOffice();
    ~RecordingOffice();
    RecordingOffice(const RecordingOffice &) = delete;
    RecordingOffice &operator=(const RecordingOffice &) = delete;

    // Everything in order. Lines:
    //   "start Word1", "user starts Excel1", "running Word1", "running Word: none",
    //   "Word1.Documents.open(&\"/p/a.doc\") lcid=0", "... -> error", "end Word1 (quit)",
    //   "end Word1 (released)", "release Word1.Doc1".
    QStringList log() const;
    // Only the calls made on objects, in order.
    QStringList calls() const;
    void clearLog();

    // The n-th request from now fails (1 = the next). Starts, running look-ups and calls count.
    void failAtRequest(int n);
    // The given occurrence (1 = next) of a call of `name`, matched without regard to case, fails.
    void failCall(const QString &name, int occurrence = 1);

    // While set, ActiveWorkbook and ActiveDocument answer with nothing, as when Excel shows
    // the workbook just opened in no window of its own.
    void setNoActiveItem(bool on);

    // An instance the user has open, registered as running; returns its application object.
    office::ObjectRef startRunning(App app);

    int instancesStarted(App app) const;
    // Instances started and not yet ended.
    int liveInstances(App app) const;
    // The name of the object behind a reference ("Excel1.Book2"); empty for none or a foreign one.
    static QString nameOf(const office::ObjectRef &object);

    struct Core;

private:
    std::shared_ptr<Core> m_core;
    std::vector<std::unique_ptr<office::ServerRegistration>> m_registrations;
};

} // namespace officetest
