#pragma once
// The settings object model: a small tree of typed values, in the manner of a JSON document.
// Values live on the heap and are shared through shared pointers; readers never change them.
// Containers built by the parser never hold an empty pointer; every operation that meets one
// anyway reports an assertion and goes on.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class CSettingsObject;
class CSettingsArray;
class CSettingsMap;
using CSettingsObjectPtr = std::shared_ptr<CSettingsObject>;

class CSettingsObject : public std::enable_shared_from_this<CSettingsObject>
{
public:
    // A new value of the same class with an equal payload; containers clone their members.
    virtual CSettingsObjectPtr Clone() const = 0;
    virtual ~CSettingsObject() = default;
    // "bool", "integer", "double", "string", "bytes", "null", "array" or "map".
    virtual std::string GetTypeName() const = 0;
    // The payload as display text (unquoted, unescaped); empty for null and containers.
    virtual std::string ToString() const = 0;
    // Appends a one-line diagnostic form such as "integer[-3]" or "array[0:bool[true]]".
    virtual void Dump(std::string& text_IO) const = 0;
    // Appends the tag-length-value binary form.
    virtual void Encode(std::vector<std::uint8_t>& bytes_IO) const = 0;
    // Same class (by dynamic type) and equal payload; false for an empty argument.
    virtual bool Equals(CSettingsObjectPtr other_I) const = 0;
    // The settings text form, indented for nesting depth level_I (scalars ignore it).
    virtual std::string ToText(std::uint32_t level_I) const = 0;

protected:
    CSettingsObject() = default;
    CSettingsObject(const CSettingsObject&) = default;
    CSettingsObject& operator=(const CSettingsObject&) = default;
};

class CSettingsBool : public CSettingsObject
{
public:
    explicit CSettingsBool(bool value_I) : mValue(value_I ? 1 : 0) {}
    static std::shared_ptr<CSettingsBool> Create(bool value_I);
    bool GetValue() const { return mValue != 0; }

    CSettingsObjectPtr Clone() const override;
    std::string GetTypeName() const override;
    std::string ToString() const override;
    void Dump(std::string& text_IO) const override;
    void Encode(std::vector<std::uint8_t>& bytes_IO) const override;
    bool Equals(CSettingsObjectPtr other_I) const override;
    std::string ToText(std::uint32_t level_I) const override;

private:
    std::uint8_t mValue;
};

class CSettingsInteger : public CSettingsObject
{
public:
    explicit CSettingsInteger(std::int64_t value_I) : mValue(value_I) {}
    static std::shared_ptr<CSettingsInteger> Create(std::int64_t value_I);
    std::int64_t GetValue() const { return mValue; }

    CSettingsObjectPtr Clone() const override;
    std::string GetTypeName() const override;
    std::string ToString() const override;
    void Dump(std::string& text_IO) const override;
    void Encode(std::vector<std::uint8_t>& bytes_IO) const override;
    bool Equals(CSettingsObjectPtr other_I) const override;
    std::string ToText(std::uint32_t level_I) const override;

private:
    std::int64_t mValue;
};

class CSettingsDouble : public CSettingsObject
{
public:
    explicit CSettingsDouble(double value_I) : mValue(value_I) {}
    static std::shared_ptr<CSettingsDouble> Create(double value_I);
    double GetValue() const { return mValue; }

    CSettingsObjectPtr Clone() const override;
    std::string GetTypeName() const override;
    // Fixed notation with six decimals ("1.500000"), independent of the process locale.
    std::string ToString() const override;
    void Dump(std::string& text_IO) const override;
    void Encode(std::vector<std::uint8_t>& bytes_IO) const override;
    bool Equals(CSettingsObjectPtr other_I) const override;
    std::string ToText(std::uint32_t level_I) const override;

private:
    double mValue;
};

class CSettingsString : public CSettingsObject
{
public:
    explicit CSettingsString(std::string value_I) : mValue(std::move(value_I)) {}
    static std::shared_ptr<CSettingsString> Create(std::string value_I);
    const std::string& GetValue() const { return mValue; }

    CSettingsObjectPtr Clone() const override;
    std::string GetTypeName() const override;
    std::string ToString() const override;
    void Dump(std::string& text_IO) const override;
    void Encode(std::vector<std::uint8_t>& bytes_IO) const override;
    bool Equals(CSettingsObjectPtr other_I) const override;
    std::string ToText(std::uint32_t level_I) const override;

private:
    std::string mValue;
};

class CSettingsBytes : public CSettingsObject
{
public:
    explicit CSettingsBytes(std::vector<std::uint8_t> value_I) : mValue(std::move(value_I)) {}
    static std::shared_ptr<CSettingsBytes> Create(std::vector<std::uint8_t> value_I);
    const std::vector<std::uint8_t>& GetValue() const { return mValue; }

    CSettingsObjectPtr Clone() const override;
    std::string GetTypeName() const override;
    // Base64, standard alphabet, no padding.
    std::string ToString() const override;
    void Dump(std::string& text_IO) const override;
    void Encode(std::vector<std::uint8_t>& bytes_IO) const override;
    bool Equals(CSettingsObjectPtr other_I) const override;
    // The one-member map {"SbyteS":"<Base64>"} that the parser turns back into bytes.
    std::string ToText(std::uint32_t level_I) const override;

private:
    std::vector<std::uint8_t> mValue;
};

class CSettingsNULL : public CSettingsObject
{
public:
    CSettingsNULL() = default;
    static std::shared_ptr<CSettingsNULL> Create();

    CSettingsObjectPtr Clone() const override;
    std::string GetTypeName() const override;
    std::string ToString() const override;
    void Dump(std::string& text_IO) const override;
    void Encode(std::vector<std::uint8_t>& bytes_IO) const override;
    bool Equals(CSettingsObjectPtr other_I) const override;
    std::string ToText(std::uint32_t level_I) const override;
};

class CSettingsArray : public CSettingsObject
{
public:
    CSettingsArray() = default;
    static std::shared_ptr<CSettingsArray> Create();

    std::size_t Count() const { return mObjectVector.size(); }
    // The element at index_I; empty past the end and for a stored null (null reads as absent).
    CSettingsObjectPtr Get(std::size_t index_I) const;
    void Append(CSettingsObjectPtr object);
    const std::vector<CSettingsObjectPtr>& Elements() const { return mObjectVector; }

    CSettingsObjectPtr Clone() const override;
    std::string GetTypeName() const override;
    std::string ToString() const override;
    void Dump(std::string& text_IO) const override;
    void Encode(std::vector<std::uint8_t>& bytes_IO) const override;
    // Element by element on the stored members, so a null equals a null.
    bool Equals(CSettingsObjectPtr other_I) const override;
    std::string ToText(std::uint32_t level_I) const override;

private:
    std::vector<CSettingsObjectPtr> mObjectVector;
};

class CSettingsMap : public CSettingsObject
{
public:
    // Keys are ordered byte-wise (std::string compares its bytes as unsigned characters).
    using ObjectMap = std::map<std::string, CSettingsObjectPtr>;

    CSettingsMap() = default;
    static std::shared_ptr<CSettingsMap> Create();

    std::size_t Count() const { return mObjectMap.size(); }
    // The value under key_I; empty when the key is absent or its value is null.
    CSettingsObjectPtr Get(const std::string& key_I) const;
    // Stores object under key_I, replacing an earlier value.
    void Set(const std::string& key_I, CSettingsObjectPtr object);
    const ObjectMap& Entries() const { return mObjectMap; }

    // The payload when Get(key_I) is of the matching class; otherwise default_I. No conversion
    // between classes: an integer 1 does not satisfy GetBool.
    bool GetBool(const std::string& key_I, bool default_I) const;
    std::int64_t GetInteger(const std::string& key_I, std::int64_t default_I) const;
    std::string GetString(const std::string& key_I, const std::string& default_I) const;

    CSettingsObjectPtr Clone() const override;
    std::string GetTypeName() const override;
    std::string ToString() const override;
    void Dump(std::string& text_IO) const override;
    void Encode(std::vector<std::uint8_t>& bytes_IO) const override;
    // Key by key on the stored members, so a null equals a null.
    bool Equals(CSettingsObjectPtr other_I) const override;
    std::string ToText(std::uint32_t level_I) const override;

private:
    ObjectMap mObjectMap;
};

// Typed views of a generic value: the container when GetTypeName() names it, else empty.
std::shared_ptr<CSettingsArray> AsArray(const CSettingsObjectPtr& value_I);
std::shared_ptr<CSettingsMap> AsMap(const CSettingsObjectPtr& value_I);

// The writer's quoting of strings and keys: a quotation mark, the bytes, a quotation mark.
// Quotation marks, backslashes and control bytes (below 0x20, and 0x7F) are escaped so that the
// parser reads the text back to the same bytes; every other byte is written as it is.
std::string QuoteSettingsString(const std::string& text_I);
