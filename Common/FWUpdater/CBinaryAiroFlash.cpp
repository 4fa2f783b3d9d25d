#include "FWUpdater/CBinaryAiroFlash.h"

#include "FWUpdater/FileBytes.h"

#include <fstream>
#include <new>

CBinaryAiroFlash::~CBinaryAiroFlash()
{
    mStartAddress = -1;
    mFileName.clear();
}

bool CBinaryAiroFlash::Load(const std::string& path_I)
{
    std::ifstream in;
    OpenUtf8Path(in, path_I);
    if (!in.is_open()) {
        mLoadError.Set("the file cannot be opened");
        return false;
    }
    mFileName = path_I;
    return LoadFromStream(in);
}

bool CBinaryAiroFlash::LoadFromStream(std::istream& in_IO)
{
    mLoadError.Clear();
    in_IO.seekg(0, std::ios::end);
    const std::streamoff end = in_IO.tellg();
    in_IO.seekg(0, std::ios::beg);
    if (end <= 0 || !in_IO || static_cast<std::uint64_t>(end) > UINT32_MAX) {
        // empty, size unknown, or too large for a 32-bit size
        mLoadError.Set(end == 0 ? "the file is empty" : end < 0 || !in_IO ? "the file's size cannot be found" : "the file is larger than 4 GiB");
        return false;
    }
    const auto size = static_cast<std::uint32_t>(end);
    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(size);
    } catch (const std::bad_alloc&) {
        mLoadError.Set("not enough memory for the file");
        return false;
    }
    in_IO.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    // A file that yields fewer bytes than its size changed while we read it; programming the
    // rest as zeros would corrupt the board, so that is a failure too.
    if (in_IO.bad() || static_cast<std::uint64_t>(in_IO.gcount()) != size) {
        mLoadError.Set("the file yields fewer bytes than its size (it changed while being read)");
        return false;
    }
    mBuffer.swap(bytes);
    mSize = size;
    mStartAddress = 0;
    return true;
}
