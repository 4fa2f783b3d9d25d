#include "SimState.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

constexpr char kHeader[] = "vellum-sim-state 1";
constexpr std::size_t kChunk = 4096;

struct BoardState
{
    bool image = false;
    std::vector<std::vector<std::uint8_t>> flash; // S-record: per block
    std::vector<std::uint32_t> checksums;
    std::uint32_t magic = 0;
    std::vector<std::uint8_t> imageFlash; // whole-image: all of it
    bool imageValid = true;
    bool inLoader = false;
};

std::string HexBytes(const std::vector<std::uint8_t>& bytes_I)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes_I.size() * 2);
    for (std::uint8_t b : bytes_I) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

int HexDigit(char c_I)
{
    if (c_I >= '0' && c_I <= '9')
        return c_I - '0';
    if (c_I >= 'A' && c_I <= 'F')
        return c_I - 'A' + 10;
    if (c_I >= 'a' && c_I <= 'f')
        return c_I - 'a' + 10;
    return -1;
}

bool ParseHexBytes(const std::string& text_I, std::vector<std::uint8_t>& bytes_O)
{
    if (text_I.size() % 2 != 0)
        return false;
    bytes_O.resize(text_I.size() / 2);
    for (std::size_t i = 0; i < bytes_O.size(); ++i) {
        const int high = HexDigit(text_I[2 * i]);
        const int low = HexDigit(text_I[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes_O[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return true;
}

bool ParseHex32(const std::string& text_I, std::uint32_t& value_O)
{
    if (text_I.empty() || text_I.size() > 8)
        return false;
    std::uint32_t value = 0;
    for (char c : text_I) {
        const int digit = HexDigit(c);
        if (digit < 0)
            return false;
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    value_O = value;
    return true;
}

std::string Hex32(std::uint32_t value_I)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value_I);
    return text;
}

bool Fail(std::string* error_O, const std::string& text_I)
{
    if (error_O)
        *error_O = text_I;
    return false;
}

} // namespace

bool SaveSimState(const CSimBus& bus_I, const std::string& path_I)
{
    std::ostringstream out;
    out << kHeader << "\n";
    const auto& boards = bus_I.Boards();
    for (std::size_t b = 0; b < boards.size(); ++b) {
        const CSimBoard& board = *boards[b];
        if (const auto image = board.ImageLoader()) {
            // Off: what it boots when the power comes back.
            const bool inLoader = board.IsPowered() ? board.InLoader() : !image->ImageValid();
            out << "board " << b << " " << board.Spec().name << " image " << image->FlashSize() << "\n";
            out << "mode " << (inLoader ? "loader" : "application") << "\n";
            out << "image " << (image->ImageValid() ? "valid" : "incomplete") << "\n";
            for (std::size_t at = 0; at < image->FlashSize(); at += kChunk) {
                const std::vector<std::uint8_t> chunk =
                    image->Flash(static_cast<std::uint32_t>(at), std::min(kChunk, image->FlashSize() - at));
                if (std::any_of(chunk.begin(), chunk.end(), [](std::uint8_t v) { return v != 0xFF; }))
                    out << "chunk " << Hex32(static_cast<std::uint32_t>(at)) << " " << HexBytes(chunk) << "\n";
            }
            continue;
        }
        const CSimSRecLoader& loader = board.Loader();
        const std::size_t blocks = loader.Config().blocks.size();
        const bool inLoader = board.IsPowered() ? loader.InLoader() : !loader.ApplicationValid();
        out << "board " << b << " " << board.Spec().name << " srec " << blocks << "\n";
        out << "mode " << (inLoader ? "loader" : "application") << "\n";
        out << "magic " << Hex32(loader.CommittedMagicWord()) << "\n";
        out << "checksums";
        for (std::uint32_t c : loader.CommittedChecksums())
            out << " " << Hex32(c);
        out << "\n";
        for (std::size_t i = 0; i < blocks; ++i) {
            if (!loader.BlockContents(i).empty())
                out << "block " << i << " " << HexBytes(loader.BlockContents(i)) << "\n";
        }
    }
    out << "end\n";
    // Written beside the target and renamed over it: a process killed while saving leaves the
    // previous state, not half a file.
    const std::string temporary = path_I + ".tmp";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        if (!file)
            return false;
        file << out.str();
        file.flush();
        if (!file)
            return false;
    }
    // std::filesystem::rename replaces an existing file on every platform (std::rename does not
    // on Windows).
    std::error_code error;
    std::filesystem::rename(temporary, path_I, error);
    return !error;
}

bool LoadSimState(CSimBus& bus_I, const std::string& path_I, std::string* error_O)
{
    std::ifstream file(path_I, std::ios::binary);
    if (!file)
        return Fail(error_O, "cannot open " + path_I);
    const auto& boards = bus_I.Boards();
    std::vector<BoardState> states;
    std::string line;
    if (!std::getline(file, line) || line != kHeader)
        return Fail(error_O, "not a simulator state file: " + path_I);
    bool ended = false;
    int lineNumber = 1;
    while (std::getline(file, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::istringstream in(line);
        std::string keyword;
        in >> keyword;
        const std::string where = path_I + ":" + std::to_string(lineNumber) + ": ";
        if (keyword.empty())
            continue;
        if (ended)
            return Fail(error_O, where + "text after the end");
        if (keyword == "end") {
            ended = true;
            continue;
        }
        if (keyword == "board") {
            std::size_t index = 0;
            std::size_t size = 0;
            std::string name;
            std::string kind;
            if (!(in >> index >> name >> kind >> size) || index != states.size() || (kind != "srec" && kind != "image"))
                return Fail(error_O, where + "malformed board line");
            BoardState state;
            state.image = kind == "image";
            const bool fits =
                index < boards.size() && boards[index]->Spec().name == name &&
                (state.image ? boards[index]->ImageLoader() && boards[index]->ImageLoader()->FlashSize() == size
                             : !boards[index]->ImageLoader() && boards[index]->Loader().Config().blocks.size() == size);
            if (!fits)
                return Fail(error_O, where + "board " + std::to_string(index) + " (" + name +
                                         ") does not match the simulated bus");
            if (state.image)
                state.imageFlash.assign(size, 0xFF);
            else
                state.flash.resize(size);
            states.push_back(std::move(state));
            continue;
        }
        if (states.empty())
            return Fail(error_O, where + "item before the first board");
        BoardState& state = states.back();
        std::string value;
        if (state.image && (keyword == "magic" || keyword == "checksums"))
            return Fail(error_O, where + keyword + " for a whole-image board");
        if (keyword == "mode") {
            in >> value;
            if (value != "loader" && value != "application")
                return Fail(error_O, where + "unknown mode");
            state.inLoader = value == "loader";
        } else if (keyword == "magic") {
            in >> value;
            if (!ParseHex32(value, state.magic))
                return Fail(error_O, where + "malformed magic word");
        } else if (keyword == "checksums") {
            std::uint32_t checksum = 0;
            while (in >> value) {
                if (!ParseHex32(value, checksum))
                    return Fail(error_O, where + "malformed checksum");
                state.checksums.push_back(checksum);
            }
            if (state.checksums.size() != state.flash.size())
                return Fail(error_O, where + "checksum count differs from the block count");
        } else if (keyword == "image" && state.image) {
            in >> value;
            if (value != "valid" && value != "incomplete")
                return Fail(error_O, where + "unknown image state");
            state.imageValid = value == "valid";
        } else if (keyword == "chunk" && state.image) {
            std::uint32_t address = 0;
            std::string address_text;
            std::vector<std::uint8_t> bytes;
            if (!(in >> address_text >> value) || !ParseHex32(address_text, address) || !ParseHexBytes(value, bytes) ||
                address > state.imageFlash.size() || bytes.size() > state.imageFlash.size() - address)
                return Fail(error_O, where + "malformed chunk");
            std::copy(bytes.begin(), bytes.end(), state.imageFlash.begin() + address);
        } else if (keyword == "block" && !state.image) {
            std::size_t index = 0;
            const std::size_t board = states.size() - 1;
            if (!(in >> index >> value) || index >= state.flash.size() ||
                !ParseHexBytes(value, state.flash[index]) ||
                state.flash[index].size() != boards[board]->Loader().Config().blocks[index].size)
                return Fail(error_O, where + "malformed block");
        } else {
            return Fail(error_O, where + "unknown item " + keyword);
        }
    }
    if (!ended)
        return Fail(error_O, path_I + ": the file is cut short");
    if (states.size() != boards.size())
        return Fail(error_O, path_I + ": holds " + std::to_string(states.size()) + " boards, the bus " +
                                 std::to_string(boards.size()));
    for (std::size_t b = 0; b < states.size(); ++b) {
        if (!states[b].image && states[b].checksums.size() != states[b].flash.size())
            return Fail(error_O, path_I + ": board " + std::to_string(b) + " has no checksum table");
    }
    for (std::size_t b = 0; b < states.size(); ++b) {
        const BoardState& state = states[b];
        if (state.image)
            boards[b]->RestoreImageState(state.imageFlash, state.imageValid, state.inLoader);
        else
            boards[b]->RestoreState(state.flash, state.checksums, state.magic, state.inLoader);
    }
    return true;
}
