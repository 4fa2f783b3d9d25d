#pragma once
// What the device-answer harnesses share: one input's world, a hostile device answering with the
// input's bytes, a corruptor spoiling chosen answers of a well-behaved simulated board, and the
// check that a reported success is on the board.
// Speed matters as much as reach: a device that stops answering costs every report 100 retries,
// a reopen and the callers' own retries. So once an input is used up the update is stopped, as
// the user's Cancel stops it; a failure burst of up to 255 reports still reaches the retry paths.

#include "CSimHost.h"
#include "CSimSRecLoader.h"
#include "Clock.h"
#include "FWUpdater/CFLDeviceInterface.h"
#include "FWUpdater/CFLProtocol.h"
#include "FWUpdater/CInterfaceNotifier.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace fuzz {

// VFWU_FUZZ_TRACE=1 prints what an input does: the interface's messages and the spoiled answers.
// Without it there is no notifier: the messages would cost more than the reports.
class CTraceNotifier : public CInterfaceNotifier
{
public:
    void Log(const std::string& message_I) override { std::fprintf(stderr, "log: %s\n", message_I.c_str()); }
    void ReportError(const std::string& message_I) override { std::fprintf(stderr, "error: %s\n", message_I.c_str()); }
    void ReportProgress(std::int32_t) override {}
};

inline CInterfaceNotifier* TraceNotifier()
{
    static CTraceNotifier notifier;
    static const bool tracing = std::getenv("VFWU_FUZZ_TRACE") != nullptr;
    return tracing ? &notifier : nullptr;
}

// One input: its reader and its world (virtual clock, a stop token bound to the thread, a fresh
// simulated host with the one node "fuzz"), made fresh per input so that a finding replays alone.
class CFuzzSession
{
public:
    CFuzzSession(const std::uint8_t* data_I, std::size_t size_I)
        : mData(data_I), mSize(size_I), mClock(std::make_shared<CVirtualClock>()), mStop(std::make_shared<CStopToken>())
    {
        mHost->SetTranscriptEnabled(false);
    }

    bool Empty() const { return mPos >= mSize; }
    std::uint8_t Byte() { return mPos < mSize ? mData[mPos++] : 0; }
    std::vector<std::uint8_t> Bytes(std::size_t n_I)
    {
        const std::size_t from = mPos;
        mPos += std::min(n_I, mSize - mPos);
        return std::vector<std::uint8_t>(mData + from, mData + mPos);
    }

    const std::shared_ptr<CSimHost>& Host() const { return mHost; }
    void AddNode(std::uint16_t usagePage_I, std::shared_ptr<CSimHidDevice> device_I)
    {
        SimHidNodeInfo info;
        info.path = "fuzz";
        info.usagePage = usagePage_I;
        mHost->AddNode(info, std::move(device_I));
    }
    // Ends the update's retry loops without further I/O.
    void Stop() { mStop.Token()->RequestStop(); }

private:
    const std::uint8_t* mData;
    std::size_t mSize;
    std::size_t mPos = 0;
    CScopedClock mClock;
    CStopScope mStop;
    std::shared_ptr<CSimHost> mHost = std::make_shared<CSimHost>();
};

// Answers from the input. A control byte per report: low three bits 0 fail it (with bit 3 also
// the next N reports, N from the next byte); for a GET, bit 4 takes the length from the input,
// bit 5 puts the asked-for id in byte 0, and with bridge framing bit 6 sets a plausible status
// (bit 7: F2 instead of F0). Once the input runs dry the session is stopped and reports fail.
class CHostileDevice : public CSimHidDevice
{
public:
    CHostileDevice(CFuzzSession& session_I, std::size_t lengthScale_I, bool bridgeFraming_I = false)
        : mSession(session_I), mLengthScale(lengthScale_I), mBridgeFraming(bridgeFraming_I)
    {
    }

    bool SetFeature(const std::vector<std::uint8_t>&) override { return Next() != 0; }

    bool GetFeature(const std::vector<std::uint8_t>& request_I, std::vector<std::uint8_t>& answer_O) override
    {
        const std::uint8_t control = Next();
        if (control == 0)
            return false;
        std::size_t length = request_I.size();
        if (control & 0x10) {
            const std::size_t high = mSession.Byte();
            length = high * mLengthScale + mSession.Byte();
        }
        answer_O = mSession.Bytes(length);
        if (!answer_O.empty() && (control & 0x20))
            answer_O[0] = request_I[0];
        if (mBridgeFraming && answer_O.size() > 1 && (control & 0x40))
            answer_O[1] = static_cast<std::uint8_t>(0xF0 + (control >> 7) * 2);
        return true;
    }

private:
    // The report's control byte, or 0 when it fails.
    std::uint8_t Next()
    {
        if (mBurst > 0) {
            --mBurst;
            return 0;
        }
        if (mSession.Empty()) {
            mSession.Stop();
            return 0;
        }
        const std::uint8_t control = mSession.Byte();
        if ((control & 7) != 0)
            return control;
        if (control & 8)
            mBurst = mSession.Byte();
        return 0;
    }

    CFuzzSession& mSession;
    std::size_t mLengthScale;
    bool mBridgeFraming;
    int mBurst = 0;
};

// A well-behaved device whose GET answers it spoils as the input says: the answers it passes on,
// or with onWire_I those crossing the OS boundary (the wrapped form on the vendor page, wrapper id
// and length included). The input is a list of records: skip (answers passed before the next
// spoiled one, modulo the skip range), kind (low four bits: flip bits, short, long, other id,
// stale, fail, 15 ends the list and lets the update run to its end; high four bits a variant),
// then the kind's parameters (flip: 2 bytes per bit; short: the new length; long: a count and
// that many bytes; other id: the id). What a spoiled answer does shows within a few reports, so
// the update is stopped 8 reports after the records, after 128 SETs refused in a row (a SafeWrite
// with its reopen) and after a few whole updates' worth of reports: retry storms took the time.
class CAnswerCorruptor : public CSimHidDevice
{
public:
    // skipRange_I: about one update's GETs at this place (19 for an S-record loader, 270 for an
    // I2C bridge), so that a record is mostly reached rather than run past.
    CAnswerCorruptor(CFuzzSession& session_I, int skipRange_I, std::shared_ptr<CSimHidDevice> device_I,
                     bool onWire_I = false)
        : mSession(session_I), mSkipRange(skipRange_I), mBudget(600 + 6 * skipRange_I), mDevice(std::move(device_I)),
          mOnWire(onWire_I)
    {
        NextRecord();
        if (onWire_I)
            session_I.Host()->SetWireTamper([this](const std::string&, std::vector<std::uint8_t>& bytes, bool& ok) {
                Apply(bytes.size() > 3 && bytes[0] == 0xDC ? bytes[3] : (bytes.empty() ? 0 : bytes[0]), bytes, ok);
            });
    }

    bool SetFeature(const std::vector<std::uint8_t>& report_I) override
    {
        const bool accepted = mDevice->SetFeature(report_I);
        Count();
        mRefusedInARow = accepted ? 0 : mRefusedInARow + 1;
        if (mRefusedInARow == 128)
            mSession.Stop();
        return accepted;
    }

    bool GetFeature(const std::vector<std::uint8_t>& request_I, std::vector<std::uint8_t>& answer_O) override
    {
        bool ok = mDevice->GetFeature(request_I, answer_O);
        if (!mOnWire)
            Apply(request_I.empty() ? 0 : request_I[0], answer_O, ok);
        return ok;
    }

    // Whether an answer to report id_I was spoiled.
    bool Spoiled(std::uint8_t id_I) const { return mSpoiled[id_I]; }

private:
    void Apply(std::uint8_t id_I, std::vector<std::uint8_t>& answer_IO, bool& ok_IO)
    {
        Count();
        const bool genuine = ok_IO && !answer_IO.empty();
        if (!mPending || mSkip-- > 0) {
            if (genuine)
                Remember(id_I, answer_IO);
            return;
        }
        // Copied only when spoiled, so most answers cost no allocation.
        const std::vector<std::uint8_t> answer = answer_IO;
        Corrupt(id_I, answer_IO, ok_IO);
        NextRecord();
        if (genuine)
            Remember(id_I, answer);
    }

    // Counts a report, and the update's end as told above.
    void Count()
    {
        if (++mReports == mBudget || (!mPending && !mRunToEnd && mTail-- == 0))
            mSession.Stop();
    }

    void Remember(std::uint8_t id_I, const std::vector<std::uint8_t>& answer_I)
    {
        mLastById[id_I].assign(answer_I.begin(), answer_I.end());
        mLastId = id_I;
    }

    void NextRecord()
    {
        mPending = !mSession.Empty();
        if (!mPending)
            return;
        mSkip = mSession.Byte() % mSkipRange;
        mKind = mSession.Byte();
        mRunToEnd = (mKind & 0x0F) == 0x0F;
        mPending = !mRunToEnd;
    }

    void Corrupt(std::uint8_t id_I, std::vector<std::uint8_t>& answer_IO, bool& ok_IO)
    {
        const int variant = mKind >> 4;
        switch ((mKind & 0x0F) % 6) {
        case 0: // flip one to four bits
            for (int i = 0; i <= variant % 4; ++i) {
                const unsigned high = mSession.Byte();
                const unsigned bit = high << 8 | mSession.Byte();
                if (!answer_IO.empty())
                    answer_IO[bit / 8 % answer_IO.size()] ^= static_cast<std::uint8_t>(1u << (bit % 8));
            }
            break;
        case 1: // shorter than the device gave
            answer_IO.resize(answer_IO.empty() ? 0 : mSession.Byte() % answer_IO.size());
            break;
        case 2: { // longer
            const std::vector<std::uint8_t> extra = mSession.Bytes(1u + mSession.Byte());
            answer_IO.insert(answer_IO.end(), extra.begin(), extra.end());
            answer_IO.push_back(mKind);
            break;
        }
        case 3: { // byte 0 names another report
            const std::uint8_t other = mSession.Byte();
            if (!answer_IO.empty())
                answer_IO[0] = static_cast<std::uint8_t>(other == answer_IO[0] ? other ^ 0x80 : other);
            break;
        }
        case 4: // stale: variant 0 the last answer to this report, else the last answer of any
            if (variant % 2 == 0 && !mLastById[id_I].empty())
                answer_IO = mLastById[id_I];
            else if (mLastId >= 0)
                answer_IO = mLastById[mLastId];
            else
                ok_IO = false;
            break;
        default:
            ok_IO = false;
        }
        mSpoiled[id_I] = true;
        if (TraceNotifier())
            std::fprintf(stderr, "fuzz: answer %d, to 0x%02X, spoiled (kind %d): %zu bytes, %s\n", mReports, id_I,
                         mKind & 0x0F, answer_IO.size(), ok_IO ? "delivered" : "failed");
    }

    CFuzzSession& mSession;
    int mSkipRange;
    int mBudget;
    std::shared_ptr<CSimHidDevice> mDevice;
    bool mOnWire;
    int mReports = 0;
    bool mPending = false;
    bool mRunToEnd = false;
    int mTail = 8;
    int mRefusedInARow = 0;
    int mSkip = 0;
    std::uint8_t mKind = 0;
    std::array<std::vector<std::uint8_t>, 256> mLastById;
    int mLastId = -1;
    std::bitset<256> mSpoiled;
};

// A small S-record board: a protected loader block and three to program (one with another word
// size when the layout asks), write blocks that leave a tail of words, and a read size (at most
// the 256 bytes the I2C tunnel carries) that does not always divide the blocks. Protocol type 1
// gets blocks of 4096 bytes, what its loader checks a block as; type 0 smaller ones.
inline SimSRecLoaderConfig SmallSRecLoader(int protocolType_I, std::uint8_t layout_I)
{
    const std::uint32_t size = protocolType_I == 1 ? 0x1000 : 0x100;
    SimSRecLoaderConfig config;
    config.protocolType = protocolType_I;
    config.readSize = static_cast<std::uint16_t>(std::min<std::uint32_t>(size / 4, 0x100) - ((layout_I & 1) ? 16 : 0));
    config.wordSize = 4;
    config.blockSize = 64;
    config.checksumSupport = (layout_I & 2) == 0;
    config.cpuCount = (layout_I & 4) ? 2 : 1;
    config.blocks = {
        {0, size, 0x8004},
        {size, size, 4},
        {2 * size, size, static_cast<std::uint16_t>((layout_I & 0x18) == 0x18 ? 8 : 4)},
        {3 * size, protocolType_I == 1 ? size : size / 2, 4},
    };
    return config;
}

[[noreturn]] inline void FalseSuccess(const char* format_I)
{
    std::fprintf(stderr, "fuzz: %s success reported, but the board's flash differs\n", format_I);
    std::abort();
}

// A reported success must be on the board. Bytes in a block the (possibly spoiled) description
// calls protected are left out: they are never written, and a lie about the flag cannot be seen.
inline void ExpectImageOnBoard(const CSimSRecLoader& board_I, const CFLDeviceInterface& device_I,
                               const std::vector<SRecBlock>& image_I)
{
    std::uint32_t total = 0;
    const std::vector<FlashBlock> flash = device_I.GetFlashVector(total);
    for (const SRecBlock& segment : image_I) {
        for (std::size_t i = 0; i < segment.data.size(); ++i) {
            const std::uint32_t address = segment.address + static_cast<std::uint32_t>(i);
            const auto block = std::find_if(flash.begin(), flash.end(), [address](const FlashBlock& b) {
                return b.address <= address && address - b.address < b.size;
            });
            if ((block == flash.end() || !block->isProtected) && board_I.FlashByte(address) != segment.data[i])
                FalseSuccess("S-record");
        }
    }
}

// Programs the small board; a success must be on it unless an answer to the read report
// (readId_I) was spoiled, the one answer that can fake what verification saw. The image's chunks
// are all unlike, so a stale chunk never passes for the right one.
inline void ProgramSmallBoard(CFLDeviceInterface& device_I, int protocolType_I, const CSimSRecLoader& board_I,
                              const CAnswerCorruptor& corruptor_I, std::uint8_t readId_I)
{
    const std::uint32_t size = protocolType_I == 1 ? 0x1000 : 0x100;
    std::vector<SRecBlock> image = {{size + 0x10, {}}, {2 * size + 0x20, {}}, {3 * size, {}}};
    for (std::uint32_t i = 0; i < 150; ++i)
        image[0].data.push_back(static_cast<std::uint8_t>(i * 7 + 3));
    for (std::uint32_t i = 0; i < 40; ++i)
        image[1].data.push_back(static_cast<std::uint8_t>(0xA0 ^ (i * 13)));
    for (std::uint32_t i = 0; i < 64; ++i)
        image[2].data.push_back(static_cast<std::uint8_t>(0x11 + i * 3));
    if (device_I.InitializeProgrammingData(image) && device_I.ProgramBoard() && device_I.VerifyFlash()
        && !corruptor_I.Spoiled(readId_I))
        ExpectImageOnBoard(board_I, device_I, image);
}

} // namespace fuzz
