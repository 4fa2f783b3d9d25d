#include "Settings/CSettingsObject.h"

#include "DebugOutput.h"
#include "StringUtils.h"

#include <charconv>
#include <system_error>

namespace
{

// Scalars dump as type name, "[", ToString(), "]".
void DumpScalar(const CSettingsObject& value_I, std::string& text_IO)
{
    text_IO += value_I.GetTypeName();
    text_IO += '[';
    text_IO += value_I.ToString();
    text_IO += ']';
}

template <class T>
const T* SameClass(const CSettingsObjectPtr& other_I)
{
    return other_I ? dynamic_cast<const T*>(other_I.get()) : nullptr;
}

} // namespace

std::string QuoteSettingsString(const std::string& text_I)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text_I.size() + 2);
    out += '"';
    for (const char c : text_I) {
        const auto byte = static_cast<unsigned char>(c);
        switch (byte) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case 0x08: out += "\\b"; break;
        case 0x0C: out += "\\f"; break;
        case 0x0A: out += "\\n"; break;
        case 0x0D: out += "\\r"; break;
        case 0x09: out += "\\t"; break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                // \u00XX reads back as the single byte XX (code points below 0x80 are one byte).
                out += "\\u00";
                out += kHex[byte >> 4];
                out += kHex[byte & 0x0F];
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

// ---- bool -------------------------------------------------------------------------------

std::shared_ptr<CSettingsBool> CSettingsBool::Create(bool value_I)
{
    return std::make_shared<CSettingsBool>(value_I);
}
CSettingsObjectPtr CSettingsBool::Clone() const { return Create(GetValue()); }
std::string CSettingsBool::GetTypeName() const { return "bool"; }
std::string CSettingsBool::ToString() const { return mValue ? "true" : "false"; }
void CSettingsBool::Dump(std::string& text_IO) const { DumpScalar(*this, text_IO); }
bool CSettingsBool::Equals(CSettingsObjectPtr other_I) const
{
    const auto* other = SameClass<CSettingsBool>(other_I);
    return other && other->mValue == mValue;
}
std::string CSettingsBool::ToText(std::uint32_t) const { return ToString(); }

// ---- integer ----------------------------------------------------------------------------

std::shared_ptr<CSettingsInteger> CSettingsInteger::Create(std::int64_t value_I)
{
    return std::make_shared<CSettingsInteger>(value_I);
}
CSettingsObjectPtr CSettingsInteger::Clone() const { return Create(mValue); }
std::string CSettingsInteger::GetTypeName() const { return "integer"; }
std::string CSettingsInteger::ToString() const { return std::to_string(mValue); }
void CSettingsInteger::Dump(std::string& text_IO) const { DumpScalar(*this, text_IO); }
bool CSettingsInteger::Equals(CSettingsObjectPtr other_I) const
{
    const auto* other = SameClass<CSettingsInteger>(other_I);
    return other && other->mValue == mValue;
}
std::string CSettingsInteger::ToText(std::uint32_t) const { return ToString(); }

// ---- double -----------------------------------------------------------------------------

std::shared_ptr<CSettingsDouble> CSettingsDouble::Create(double value_I)
{
    return std::make_shared<CSettingsDouble>(value_I);
}
CSettingsObjectPtr CSettingsDouble::Clone() const { return Create(mValue); }
std::string CSettingsDouble::GetTypeName() const { return "double"; }
std::string CSettingsDouble::ToString() const
{
    // The largest double has 309 integer digits; sign, point and six decimals fit easily.
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), mValue, std::chars_format::fixed, 6);
    if (result.ec != std::errc())
        return std::string();
    return std::string(buffer, result.ptr);
}
void CSettingsDouble::Dump(std::string& text_IO) const { DumpScalar(*this, text_IO); }
bool CSettingsDouble::Equals(CSettingsObjectPtr other_I) const
{
    const auto* other = SameClass<CSettingsDouble>(other_I);
    return other && other->mValue == mValue;
}
std::string CSettingsDouble::ToText(std::uint32_t) const { return ToString(); }

// ---- string -----------------------------------------------------------------------------

std::shared_ptr<CSettingsString> CSettingsString::Create(std::string value_I)
{
    return std::make_shared<CSettingsString>(std::move(value_I));
}
CSettingsObjectPtr CSettingsString::Clone() const { return Create(mValue); }
std::string CSettingsString::GetTypeName() const { return "string"; }
std::string CSettingsString::ToString() const { return mValue; }
void CSettingsString::Dump(std::string& text_IO) const { DumpScalar(*this, text_IO); }
bool CSettingsString::Equals(CSettingsObjectPtr other_I) const
{
    const auto* other = SameClass<CSettingsString>(other_I);
    return other && other->mValue == mValue;
}
std::string CSettingsString::ToText(std::uint32_t) const { return QuoteSettingsString(mValue); }

// ---- bytes ------------------------------------------------------------------------------

std::shared_ptr<CSettingsBytes> CSettingsBytes::Create(std::vector<std::uint8_t> value_I)
{
    return std::make_shared<CSettingsBytes>(std::move(value_I));
}
CSettingsObjectPtr CSettingsBytes::Clone() const { return Create(mValue); }
std::string CSettingsBytes::GetTypeName() const { return "bytes"; }
std::string CSettingsBytes::ToString() const { return Base64Encode(mValue); }
void CSettingsBytes::Dump(std::string& text_IO) const { DumpScalar(*this, text_IO); }
bool CSettingsBytes::Equals(CSettingsObjectPtr other_I) const
{
    const auto* other = SameClass<CSettingsBytes>(other_I);
    return other && other->mValue == mValue;
}
std::string CSettingsBytes::ToText(std::uint32_t) const
{
    return "{\"SbyteS\":\"" + ToString() + "\"}";
}

// ---- null -------------------------------------------------------------------------------

std::shared_ptr<CSettingsNULL> CSettingsNULL::Create()
{
    return std::make_shared<CSettingsNULL>();
}
CSettingsObjectPtr CSettingsNULL::Clone() const { return Create(); }
std::string CSettingsNULL::GetTypeName() const { return "null"; }
std::string CSettingsNULL::ToString() const { return std::string(); }
void CSettingsNULL::Dump(std::string& text_IO) const { text_IO += "null[]"; }
bool CSettingsNULL::Equals(CSettingsObjectPtr other_I) const
{
    return SameClass<CSettingsNULL>(other_I) != nullptr;
}
std::string CSettingsNULL::ToText(std::uint32_t) const { return "null"; }

// ---- array ------------------------------------------------------------------------------

std::shared_ptr<CSettingsArray> CSettingsArray::Create()
{
    return std::make_shared<CSettingsArray>();
}

CSettingsObjectPtr CSettingsArray::Get(std::size_t index_I) const
{
    if (index_I >= mObjectVector.size())
        return nullptr;
    const CSettingsObjectPtr& element = mObjectVector[index_I];
    if (!element || element->GetTypeName() == "null")
        return nullptr;
    return element;
}

void CSettingsArray::Append(CSettingsObjectPtr object)
{
    ASSERT(object);
    mObjectVector.push_back(std::move(object));
}

CSettingsObjectPtr CSettingsArray::Clone() const
{
    auto copy = Create();
    copy->mObjectVector.reserve(mObjectVector.size());
    for (std::size_t i = 0; i < mObjectVector.size(); ++i) {
        ASSERT(mObjectVector[i]);
        copy->mObjectVector.push_back(mObjectVector[i] ? mObjectVector[i]->Clone() : nullptr);
    }
    return copy;
}

std::string CSettingsArray::GetTypeName() const { return "array"; }
std::string CSettingsArray::ToString() const { return std::string(); }

void CSettingsArray::Dump(std::string& text_IO) const
{
    text_IO += "array[";
    bool any = false;
    for (std::size_t i = 0; i < mObjectVector.size(); ++i) {
        ASSERT(mObjectVector[i]);
        if (!mObjectVector[i])
            continue;
        text_IO += std::to_string(i);
        text_IO += ':';
        mObjectVector[i]->Dump(text_IO);
        text_IO += ", ";
        any = true;
    }
    if (any)
        text_IO.resize(text_IO.size() - 2);
    text_IO += ']';
}

bool CSettingsArray::Equals(CSettingsObjectPtr other_I) const
{
    const auto* other = SameClass<CSettingsArray>(other_I);
    if (!other || other->mObjectVector.size() != mObjectVector.size())
        return false;
    for (std::size_t i = 0; i < mObjectVector.size(); ++i) {
        const CSettingsObjectPtr& mine = mObjectVector[i];
        ASSERT(mine);
        if (!mine) {
            if (other->mObjectVector[i])
                return false;
            continue;
        }
        if (!mine->Equals(other->mObjectVector[i]))
            return false;
    }
    return true;
}

std::string CSettingsArray::ToText(std::uint32_t level_I) const
{
    const std::string inner(level_I + 1, '\t');
    std::string text = "[\n";
    bool any = false;
    for (std::size_t i = 0; i < mObjectVector.size(); ++i) {
        const CSettingsObjectPtr& obj = mObjectVector[i];
        ASSERT(obj);
        if (!obj)
            continue;
        text += inner;
        text += obj->ToText(level_I + 1);
        text += ",\n";
        any = true;
    }
    if (any) {
        text.resize(text.size() - 2);
        text += '\n';
    }
    text.append(level_I, '\t');
    text += ']';
    return text;
}

// ---- map --------------------------------------------------------------------------------

std::shared_ptr<CSettingsMap> CSettingsMap::Create()
{
    return std::make_shared<CSettingsMap>();
}

CSettingsObjectPtr CSettingsMap::Get(const std::string& key_I) const
{
    const auto it = mObjectMap.find(key_I);
    if (it == mObjectMap.end() || !it->second || it->second->GetTypeName() == "null")
        return nullptr;
    return it->second;
}

void CSettingsMap::Set(const std::string& key_I, CSettingsObjectPtr object)
{
    ASSERT(object);
    mObjectMap[key_I] = std::move(object);
}

bool CSettingsMap::GetBool(const std::string& key_I, bool default_I) const
{
    const auto value = std::dynamic_pointer_cast<CSettingsBool>(Get(key_I));
    return value ? value->GetValue() : default_I;
}

std::int64_t CSettingsMap::GetInteger(const std::string& key_I, std::int64_t default_I) const
{
    const auto value = std::dynamic_pointer_cast<CSettingsInteger>(Get(key_I));
    return value ? value->GetValue() : default_I;
}

std::string CSettingsMap::GetString(const std::string& key_I, const std::string& default_I) const
{
    const auto value = std::dynamic_pointer_cast<CSettingsString>(Get(key_I));
    return value ? value->GetValue() : default_I;
}

CSettingsObjectPtr CSettingsMap::Clone() const
{
    auto copy = Create();
    for (const auto& obj : mObjectMap) {
        ASSERT(obj.second);
        copy->mObjectMap.emplace(obj.first, obj.second ? obj.second->Clone() : nullptr);
    }
    return copy;
}

std::string CSettingsMap::GetTypeName() const { return "map"; }
std::string CSettingsMap::ToString() const { return std::string(); }

void CSettingsMap::Dump(std::string& text_IO) const
{
    text_IO += "map[";
    bool any = false;
    for (const auto& obj : mObjectMap) {
        ASSERT(obj.second);
        if (!obj.second)
            continue;
        text_IO += obj.first;
        text_IO += ':';
        obj.second->Dump(text_IO);
        text_IO += ", ";
        any = true;
    }
    if (any)
        text_IO.resize(text_IO.size() - 2);
    text_IO += ']';
}

bool CSettingsMap::Equals(CSettingsObjectPtr other_I) const
{
    const auto* other = SameClass<CSettingsMap>(other_I);
    if (!other || other->mObjectMap.size() != mObjectMap.size())
        return false;
    for (const auto& [key, mine] : mObjectMap) {
        const auto theirs = other->mObjectMap.find(key);
        if (theirs == other->mObjectMap.end())
            return false;
        ASSERT(mine);
        if (!mine) {
            if (theirs->second)
                return false;
            continue;
        }
        if (!mine->Equals(theirs->second))
            return false;
    }
    return true;
}

std::string CSettingsMap::ToText(std::uint32_t level_I) const
{
    const std::string inner(level_I + 1, '\t');
    std::string text = "{\n";
    bool any = false;
    for (const auto& obj : mObjectMap) {
        ASSERT(obj.second);
        if (!obj.second)
            continue;
        text += inner;
        text += QuoteSettingsString(obj.first);
        text += ": ";
        text += obj.second->ToText(level_I + 1);
        text += ",\n";
        any = true;
    }
    if (any) {
        text.resize(text.size() - 2);
        text += '\n';
    }
    text.append(level_I, '\t');
    text += '}';
    return text;
}

// ---- typed views --------------------------------------------------------------------------

std::shared_ptr<CSettingsArray> AsArray(const CSettingsObjectPtr& value_I)
{
    if (!value_I || value_I->GetTypeName() != "array")
        return nullptr;
    return std::dynamic_pointer_cast<CSettingsArray>(value_I);
}

std::shared_ptr<CSettingsMap> AsMap(const CSettingsObjectPtr& value_I)
{
    if (!value_I || value_I->GetTypeName() != "map")
        return nullptr;
    return std::dynamic_pointer_cast<CSettingsMap>(value_I);
}
