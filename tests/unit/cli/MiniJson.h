#pragma once
// A strict little JSON reader for checking the program's output: objects, arrays, strings (with
// escapes), numbers, true, false, null. Anything malformed, or text after the value, throws.

#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

struct JsonValue
{
    enum EType
    {
        eNull,
        eBool,
        eNumber,
        eString,
        eArray,
        eObject,
    } type = eNull;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<JsonValue> items;
    std::map<std::string, JsonValue> members;

    const JsonValue& operator[](const std::string& key_I) const
    {
        const auto it = members.find(key_I);
        if (type != eObject || it == members.end())
            throw std::runtime_error("no member " + key_I);
        return it->second;
    }
    const JsonValue& operator[](std::size_t index_I) const
    {
        if (type != eArray || index_I >= items.size())
            throw std::runtime_error("no array item " + std::to_string(index_I));
        return items[index_I];
    }
    bool Has(const std::string& key_I) const { return type == eObject && members.count(key_I) != 0; }
};

class CMiniJsonParser
{
public:
    static JsonValue Parse(const std::string& text_I)
    {
        CMiniJsonParser parser(text_I);
        JsonValue value = parser.Value();
        parser.Blanks();
        if (parser.mAt != text_I.size())
            throw std::runtime_error("text after the JSON value");
        return value;
    }

private:
    explicit CMiniJsonParser(const std::string& text_I) : mText(text_I) {}

    void Blanks()
    {
        while (mAt < mText.size() && std::strchr(" \n\r\t", mText[mAt]) != nullptr && mText[mAt] != '\0')
            ++mAt;
    }
    char Peek()
    {
        Blanks();
        if (mAt >= mText.size())
            throw std::runtime_error("unexpected end of JSON");
        return mText[mAt];
    }
    // Takes c_I when it comes next.
    bool Take(char c_I)
    {
        const bool next = Peek() == c_I;
        mAt += next ? 1 : 0;
        return next;
    }
    void Expect(const std::string& word_I)
    {
        Blanks();
        if (mText.compare(mAt, word_I.size(), word_I) != 0)
            throw std::runtime_error("expected " + word_I + " at " + std::to_string(mAt));
        mAt += word_I.size();
    }
    std::string String()
    {
        Expect("\"");
        static const std::string escapes = "\"\\/bfnrt";
        static const std::string meanings = "\"\\/\b\f\n\r\t";
        std::string out;
        for (char c = Next(); c != '"'; c = Next()) {
            if (static_cast<unsigned char>(c) < 0x20)
                throw std::runtime_error("control character in string");
            if (c != '\\') {
                out += c;
                continue;
            }
            const char e = Next();
            if (e == 'u' && mAt + 4 <= mText.size()) {
                const unsigned long code = std::strtoul(mText.substr(mAt, 4).c_str(), nullptr, 16);
                mAt += 4;
                if (code >= 0x80)
                    throw std::runtime_error("only ASCII \\u escapes are expected here");
                out += static_cast<char>(code);
            } else if (escapes.find(e) != std::string::npos) {
                out += meanings[escapes.find(e)];
            } else {
                throw std::runtime_error("bad escape");
            }
        }
        return out;
    }
    char Next()
    {
        if (mAt >= mText.size())
            throw std::runtime_error("unterminated string");
        return mText[mAt++];
    }
    JsonValue Value()
    {
        JsonValue v;
        const char c = Peek();
        const bool object = c == '{';
        if (object || c == '[') {
            v.type = object ? JsonValue::eObject : JsonValue::eArray;
            ++mAt;
            if (Take(object ? '}' : ']'))
                return v;
            do {
                if (!object) {
                    v.items.push_back(Value());
                    continue;
                }
                const std::string key = String();
                Expect(":");
                if (!v.members.emplace(key, Value()).second)
                    throw std::runtime_error("duplicate key " + key);
            } while (Take(','));
            Expect(object ? "}" : "]");
        } else if (c == '"') {
            v.type = JsonValue::eString;
            v.text = String();
        } else if (c == 't' || c == 'f') {
            v.type = JsonValue::eBool;
            v.boolean = c == 't';
            Expect(v.boolean ? "true" : "false");
        } else if (c == 'n') {
            Expect("null");
        } else {
            const char* begin = mText.c_str() + mAt;
            char* end = nullptr;
            v.number = std::strtod(begin, &end);
            if (end == begin)
                throw std::runtime_error("bad value at " + std::to_string(mAt));
            v.type = JsonValue::eNumber;
            mAt += static_cast<std::size_t>(end - begin);
        }
        return v;
    }

    const std::string& mText;
    std::size_t mAt = 0;
};
