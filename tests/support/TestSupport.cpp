#include "TestSupport.h"

#include <atomic>
#include <fstream>
#include <random>
#include <sstream>

CDiagnosticCapture::CDiagnosticCapture() : mShared(std::make_shared<Shared>())
{
    std::shared_ptr<Shared> shared = mShared;
    SetDiagnosticSink([shared](const char* text) {
        std::lock_guard<std::mutex> lock(shared->mMutex);
        shared->mLines.emplace_back(text);
    });
}

CDiagnosticCapture::~CDiagnosticCapture()
{
    SetDiagnosticSink(nullptr);
}

std::vector<std::string> CDiagnosticCapture::Lines() const
{
    std::lock_guard<std::mutex> lock(mShared->mMutex);
    return mShared->mLines;
}

void CDiagnosticCapture::Clear()
{
    std::lock_guard<std::mutex> lock(mShared->mMutex);
    mShared->mLines.clear();
}

bool CMemoryLogFile::Write(const std::string& bytes_I)
{
    std::lock_guard<std::mutex> lock(mContents->mMutex);
    if (mContents->mFailAfter >= 0 && mContents->mWrites >= mContents->mFailAfter)
        return false;
    ++mContents->mWrites;
    mContents->mText += bytes_I;
    return true;
}

namespace {

std::filesystem::path Utf8Path(const std::string& path_I)
{
    return std::filesystem::path(std::u8string(path_I.begin(), path_I.end()));
}

} // namespace

CTempDir::CTempDir()
{
    static std::atomic<unsigned> counter {0};
    std::random_device random;
    // create_directory throws where no folder can be made, and is false where the name is taken.
    do {
        mPath = std::filesystem::temp_directory_path() /
                ("vfwu-test-" + std::to_string(random()) + "-" + std::to_string(counter++));
    } while (!std::filesystem::create_directory(mPath));
}

CTempDir::~CTempDir()
{
    std::error_code ec;
    std::filesystem::permissions(mPath, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(mPath, ec);
}

std::string CTempDir::File(const std::string& name_I) const
{
    const std::u8string path = (mPath / Utf8Path(name_I)).u8string();
    return std::string(path.begin(), path.end());
}

std::string ReadFile(const std::string& path_I)
{
    std::ifstream in(Utf8Path(path_I), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path_I, const std::string& bytes_I)
{
    std::ofstream out(Utf8Path(path_I), std::ios::binary | std::ios::trunc);
    out << bytes_I;
}

std::vector<std::string> SplitLines(const std::string& text_I)
{
    std::vector<std::string> lines;
    std::istringstream in(text_I);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}
