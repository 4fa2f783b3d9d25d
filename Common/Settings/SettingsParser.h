#pragma once
// Reader of the settings text format: JSON-like, with // line comments and byte strings written
// as {"SbyteS":"<Base64>"}. Lenient where stray bytes are reported and skipped and an unfinished
// last member is dropped; strict elsewhere: a malformed member empties the enclosing container
// and with it the whole document. Every result is a value or an empty pointer; nothing throws.

#include "Settings/CSettingsObject.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Containers may nest this deep; a deeper one makes the document malformed (empty), which keeps
// the recursive descent within a small, fixed stack budget whatever the input.
constexpr std::uint32_t kMaxSettingsDepth = 256;

// The whole file, read byte for byte and parsed; empty when it cannot be opened or read.
// path_I is UTF-8.
CSettingsObjectPtr LoadSettingsFile(const std::string& path_I);

// The top-level entry: the first map or array of the buffer; whatever follows it is ignored.
CSettingsObjectPtr ParseSettings(std::string_view buffer_I);

// Where a document stopped being readable, for a person who has to correct the file.
struct SettingsSyntaxError
{
    std::size_t offset = 0;    // byte offset of the trouble in the buffer
    std::string expected;      // what the reader expected there, e.g. "',' or '}'"
    std::size_t documentStart = std::string::npos; // offset of the top-level '{' or '['
};

// ParseSettings with the same result; when the result is empty, error_O says where and what was
// expected (the first failure, the one that emptied the enclosing containers).
CSettingsObjectPtr ParseSettingsDiagnosed(std::string_view buffer_I, SettingsSyntaxError& error_O);

// 1-based line and column (in bytes) of offset_I.
void SettingsLineAndColumn(std::string_view buffer_I, std::size_t offset_I, std::size_t& line_O, std::size_t& column_O);

// The recursive pieces. Each reads one item at pos_IO and leaves pos_IO just past what it
// consumed. depth_I counts the containers that enclose the item.
CSettingsObjectPtr ParseValue(std::string_view buffer_I, std::size_t& pos_IO, std::uint32_t depth_I = 0);
CSettingsObjectPtr ParseMap(std::string_view buffer_I, std::size_t& pos_IO, std::uint32_t depth_I = 0);
CSettingsObjectPtr ParseArray(std::string_view buffer_I, std::size_t& pos_IO, std::uint32_t depth_I = 0);
CSettingsObjectPtr ParseString(std::string_view buffer_I, std::size_t& pos_IO);
CSettingsObjectPtr ParseInteger(std::string_view buffer_I, std::size_t& pos_IO);
CSettingsObjectPtr ParseDouble(std::string_view buffer_I, std::size_t& pos_IO);
