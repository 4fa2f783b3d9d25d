#pragma once
// The system's one exception class. Errors that users see travel as results and log lines;
// this is raised only where a conversion must abandon its input, and caught right there.

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

// Optional object attached to an exception; owned by exactly one exception at a time.
class CVelExceptionDetail
{
public:
    virtual ~CVelExceptionDetail() = default;
};

class CVelException : public std::exception
{
public:
    explicit CVelException(const std::string& message_I, std::uint16_t status_I = 0xFFFF,
                           const char* file_I = nullptr, std::int32_t line_I = 0,
                           std::unique_ptr<CVelExceptionDetail> detail_I = nullptr);
    // Copying moves the detail object to the copy, so it is deleted exactly once.
    CVelException(const CVelException& other_I);
    CVelException& operator=(const CVelException&) = delete;
    ~CVelException() override;

    const char* what() const noexcept override;

    const char* GetFile() const { return mFile; }
    std::int32_t GetLine() const { return mLine; }
    const std::string& GetMessage() const { return mMessage; }
    std::uint16_t GetStatus() const { return mStatus; }
    const CVelExceptionDetail* GetDetail() const { return mDetail.get(); }

private:
    const char* mFile;
    std::int32_t mLine;
    std::string mMessage;
    std::uint16_t mStatus;
    std::string mWhat;
    mutable std::unique_ptr<CVelExceptionDetail> mDetail;
};
