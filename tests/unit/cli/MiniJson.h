#pragma once
// A strict little JSON reader for checking the program's output: objects, arrays, strings (with
// escapes), numbers, true, false, null. Anything malformed, or text after the value, throws.

#include <cstdlib>
#include <map>
#include <memory>
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
        if (type != eObject)
            throw std::runtime_error("not an object looking up " + key_I);
        const auto it = members.find(key_I);
        if (it == members.end())
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
        while (mAt < mText.size() && (mText[mAt] == ' ' || mText[mAt] == '\n' || mText[mAt] == '\r' || mText[mAt] == '\t'))
            ++mAt;
    }
    char Peek()
    {
        Blanks();
        if (mAt >= mText.size())
            throw std::runtime_error("unexpected end of JSON");
        return mText[mAt];
    }
    void Expect(char c_I)
    {
        if (Peek() != c_I)
            throw std::runtime_error(std::string("expected '") + c_I + "' at " + std::to_string(mAt));
        ++mAt;
    }
    void Word(const char* word_I)
    {
        const std::string word(word_I);
        if (mText.compare(mAt, word.size(), word) != 0)
            throw std::runtime_error("bad literal at " + std::to_string(mAt));
        mAt += word.size();
    }
    std::string String()
    {
        Expect('"');
        std::string out;
        while (true) {
            if (mAt >= mText.size())
                throw std::runtime_error("unterminated string");
            const char c = mText[mAt++];
            if (c == '"')
                return out;
            if (static_cast<unsigned char>(c) < 0x20)
                throw std::runtime_error("control character in string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (mAt >= mText.size())
                throw std::runtime_error("unterminated escape");
            const char e = mText[mAt++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                if (mAt + 4 > mText.size())
                    throw std::runtime_error("short \\u escape");
                const unsigned long code = std::strtoul(mText.substr(mAt, 4).c_str(), nullptr, 16);
                mAt += 4;
                if (code >= 0x80)
                    throw std::runtime_error("only ASCII \\u escapes are expected here");
                out += static_cast<char>(code);
                break;
            }
            default:
                throw std::runtime_error("bad escape");
            }
        }
    }
    JsonValue Value()
    {
        JsonValue v;
        const char c = Peek();
        if (c == '{') {
            v.type = JsonValue::eObject;
            ++mAt;
            if (Peek() == '}') {
                ++mAt;
                return v;
            }
            while (true) {
                const std::string key = String();
                Expect(':');
                if (!v.members.emplace(key, Value()).second)
                    throw std::runtime_error("duplicate key " + key);
                if (Peek() == ',') {
                    ++mAt;
                    continue;
                }
                Expect('}');
                return v;
            }
        }
        if (c == '[') {
            v.type = JsonValue::eArray;
            ++mAt;
            if (Peek() == ']') {
                ++mAt;
                return v;
            }
            while (true) {
                v.items.push_back(Value());
                if (Peek() == ',') {
                    ++mAt;
                    continue;
                }
                Expect(']');
                return v;
            }
        }
        if (c == '"') {
            v.type = JsonValue::eString;
            v.text = String();
            return v;
        }
        if (c == 't' || c == 'f') {
            v.type = JsonValue::eBool;
            v.boolean = c == 't';
            Word(v.boolean ? "true" : "false");
            return v;
        }
        if (c == 'n') {
            Word("null");
            return v;
        }
        const char* begin = mText.c_str() + mAt;
        char* end = nullptr;
        v.number = std::strtod(begin, &end);
        if (end == begin)
            throw std::runtime_error("bad value at " + std::to_string(mAt));
        v.type = JsonValue::eNumber;
        mAt += static_cast<std::size_t>(end - begin);
        return v;
    }

    const std::string& mText;
    std::size_t mAt = 0;
};
