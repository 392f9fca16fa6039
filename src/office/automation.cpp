#include "office/automation.h"

namespace office {

namespace {

[[noreturn]] void typeMismatch()
{
    throw AutomationError(QStringLiteral("Type mismatch"), DISP_E_TYPEMISMATCH);
}

[[noreturn]] void notAnObject()
{
    throw AutomationError(QStringLiteral("Variant does not reference an automation object"), DISP_E_TYPEMISMATCH);
}

} // namespace

Variant Variant::fromString(QString text)
{
    return Variant(VT_BSTR, std::move(text));
}

Variant Variant::stringByRef(QString &text)
{
    return Variant(VT_BSTR | VT_BYREF, &text);
}

Variant Variant::fromInt(std::int32_t value)
{
    return Variant(VT_I4, value);
}

Variant Variant::null()
{
    return Variant(VT_NULL, std::monostate{});
}

Variant Variant::missing()
{
    return error(DISP_E_PARAMNOTFOUND);
}

Variant Variant::error(HResult code)
{
    return Variant(VT_ERROR, ErrorCode{code});
}

Variant Variant::fromObject(ObjectRef object)
{
    return Variant(VT_DISPATCH, std::move(object));
}

std::uint16_t Variant::vt() const
{
    return m_vt;
}

QString Variant::toString() const
{
    if (const auto *text = std::get_if<QString>(&m_value))
        return *text;
    if (const auto *target = std::get_if<QString *>(&m_value))
        return **target;
    typeMismatch();
}

std::int32_t Variant::toInt() const
{
    if (const auto *value = std::get_if<std::int32_t>(&m_value))
        return *value;
    typeMismatch();
}

HResult Variant::errorCode() const
{
    if (const auto *error = std::get_if<ErrorCode>(&m_value))
        return error->code;
    typeMismatch();
}

ObjectRef Variant::toObject() const
{
    if (!isObject())
        notAnObject();
    return std::get<ObjectRef>(m_value);
}

ObjectRef Variant::toObjectOrNull() const
{
    return isObject() ? std::get<ObjectRef>(m_value) : nullptr;
}

QString *Variant::stringTarget() const
{
    const auto *target = std::get_if<QString *>(&m_value);
    return target ? *target : nullptr;
}

Variant call(const ObjectRef &object, const QString &name, const QList<Variant> &args, Lcid locale)
{
    if (!object)
        notAnObject();
    return object->invoke(name, args, locale);
}

} // namespace office
