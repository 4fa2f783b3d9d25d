#include "TestSupport.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

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

CTempDir::CTempDir()
{
    static std::atomic<unsigned> counter {0};
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::ostringstream name;
        name << "vfwu-test-" << std::hex << rd() << "-" << counter++;
        std::filesystem::path candidate = base / name.str();
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            mPath = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

CTempDir::~CTempDir()
{
    std::error_code ec;
    std::filesystem::permissions(mPath, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(mPath, ec);
}

std::filesystem::path Utf8Path(const std::string& path_I)
{
    return std::filesystem::path(std::u8string(path_I.begin(), path_I.end()));
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
    size_t pos = 0;
    while (pos < text_I.size()) {
        const size_t end = text_I.find('\n', pos);
        if (end == std::string::npos) {
            lines.push_back(text_I.substr(pos));
            break;
        }
        lines.push_back(text_I.substr(pos, end - pos));
        pos = end + 1;
    }
    return lines;
}
