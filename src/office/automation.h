#pragma once
// Late-bound automation in the manner of COM's IDispatch: variants, objects called by name at
// call time with positional arguments and a locale, and the error such a call raises.

#include "core/errors.h"

#include <QList>
#include <QString>
#include <cstdint>
#include <memory>
#include <variant>

namespace office {

using Lcid = std::uint32_t;
using HResult = std::int32_t;

constexpr HResult E_FAIL = HResult(0x80004005u);
constexpr HResult DISP_E_UNKNOWNNAME = HResult(0x80020006u);
constexpr HResult DISP_E_PARAMNOTFOUND = HResult(0x80020004u);
constexpr HResult DISP_E_TYPEMISMATCH = HResult(0x80020005u);
constexpr HResult REGDB_E_CLASSNOTREG = HResult(0x80040154u);
constexpr HResult CO_E_CLASSSTRING = HResult(0x800401F3u);
constexpr HResult RPC_E_DISCONNECTED = HResult(0x80010108u);

class AutomationError : public core::Error {
public:
    explicit AutomationError(QString message, HResult code = E_FAIL)
        : core::Error(std::move(message)), m_code(code) {}
    HResult code() const noexcept { return m_code; }

private:
    HResult m_code;
};

class AutomationObject;
// References are shared: an object lives as long as anyone holds it.
using ObjectRef = std::shared_ptr<AutomationObject>;

enum VarType : std::uint16_t {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I4 = 3,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BYREF = 0x4000,
};

class Variant {
public:
    Variant() = default; // VT_EMPTY

    static Variant fromString(QString text);    // VT_BSTR
    static Variant stringByRef(QString &text);  // VT_BSTR | VT_BYREF; `text` must outlive the call
    static Variant fromInt(std::int32_t value); // VT_I4
    static Variant null();                      // VT_NULL
    static Variant missing();                   // VT_ERROR holding DISP_E_PARAMNOTFOUND
    static Variant error(HResult code);         // VT_ERROR
    static Variant fromObject(ObjectRef object); // VT_DISPATCH (an empty reference is a null dispatch)

    // The full type tag, VT_BYREF included.
    std::uint16_t vt() const;
    VarType baseType() const { return VarType(vt() & ~VT_BYREF); }
    bool isByRef() const { return (vt() & VT_BYREF) != 0; }
    bool isEmpty() const { return vt() == VT_EMPTY; }
    bool isNull() const { return vt() == VT_NULL; }
    bool isMissing() const { return vt() == VT_ERROR && errorCode() == DISP_E_PARAMNOTFOUND; }
    bool isObject() const { return vt() == VT_DISPATCH && std::get<ObjectRef>(m_value) != nullptr; }

    // Each accessor throws AutomationError (DISP_E_TYPEMISMATCH) for a variant of another type.
    QString toString() const; // a string by value or by reference
    std::int32_t toInt() const;
    HResult errorCode() const;
    ObjectRef toObject() const; // also throws for a null dispatch
    ObjectRef toObjectOrNull() const; // null for anything but an object
    // The caller's string behind a by-reference string, null for every other variant.
    QString *stringTarget() const;

private:
    struct ErrorCode {
        HResult code;
    };
    using Value = std::variant<std::monostate, QString, QString *, std::int32_t, ErrorCode, ObjectRef>;
    Variant(std::uint16_t vt, Value value) : m_vt(vt), m_value(std::move(value)) {}

    std::uint16_t m_vt = VT_EMPTY;
    Value m_value;
};

class AutomationObject {
public:
    virtual ~AutomationObject() = default;
    // Calls the member `name`, resolved now and matched without regard to case, with positional
    // arguments in declaration order. Throws AutomationError when the object lacks the name
    // (DISP_E_UNKNOWNNAME) or the call fails. A result that is not requested is VT_EMPTY.
    virtual Variant invoke(const QString &name, const QList<Variant> &args, Lcid locale) = 0;
};

// Calls `name` on `object`; a missing object is an error like any failing call.
Variant call(const ObjectRef &object, const QString &name, const QList<Variant> &args = {}, Lcid locale = 0);

} // namespace office
