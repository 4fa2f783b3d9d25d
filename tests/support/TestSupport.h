#pragma once
// Helpers shared by the tests.

#include "DebugOutput.h"
#include "LogUpdateNotifier.h"

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Captures every diagnostic (assertion) line for the lifetime of the object.
class CDiagnosticCapture
{
public:
    CDiagnosticCapture();
    ~CDiagnosticCapture();
    std::vector<std::string> Lines() const;
    void Clear();

private:
    struct Shared
    {
        mutable std::mutex mMutex;
        std::vector<std::string> mLines;
    };
    std::shared_ptr<Shared> mShared;
};

// An in-memory log file; the text stays readable after the notifier that owned the file is gone.
class CMemoryLogFile : public CLogFile
{
public:
    struct Contents
    {
        std::mutex mMutex;
        std::string mText;
        int mWrites = 0;
        int mFailAfter = -1; // number of writes that succeed before every write fails; -1 never
    };
    explicit CMemoryLogFile(std::shared_ptr<Contents> contents_I) : mContents(std::move(contents_I)) {}
    bool Write(const std::string& bytes_I) override;

private:
    std::shared_ptr<Contents> mContents;
};

// A fresh directory under the system's temporary directory, removed with everything in it.
class CTempDir
{
public:
    CTempDir();
    ~CTempDir();
    const std::filesystem::path& Path() const { return mPath; }
    // UTF-8, like every path the program handles.
    std::string File(const std::string& name_I) const;

private:
    std::filesystem::path mPath;
};

// Paths in UTF-8.
std::string ReadFile(const std::string& path_I);
void WriteFile(const std::string& path_I, const std::string& bytes_I);
std::vector<std::string> SplitLines(const std::string& text_I);
