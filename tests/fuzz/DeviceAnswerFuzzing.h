#pragma once
// The device-answer harnesses' world. Once an input is used up the update is stopped, as Cancel
// stops it, so that its retry loops (100 retries, a reopen, the callers' own) end at once.

#include "CSimHost.h"
#include "CSimSRecLoader.h"
#include "Clock.h"
#include "FWUpdater/CFLDeviceInterface.h"
#include "FWUpdater/CFLProtocol.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

// ASan's defaults for these two programs: a 256 MB quarantine of freed memory made every input
// fault in fresh pages (a third of the time of an update-sized input); 16 MB still holds what
// some ten inputs free, so a use after free within an input is caught. Shorter allocation stacks
// in reports (replay a finding with ASAN_OPTIONS=malloc_context_size=30 for the whole stack).
// ASAN_OPTIONS set by the caller take precedence.
extern "C" const char* __asan_default_options()
{
    return "quarantine_size_mb=16:malloc_context_size=4";
}

namespace fuzz {

// One input: its reader and its world, fresh per input so that a finding replays alone.
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
        mHost->AddNode({.path = "fuzz", .usagePage = usagePage_I}, std::move(device_I));
    }
    void Stop() { mStop.Token()->RequestStop(); }
    bool Stopped() const { return mStop.Token()->StopRequested(); }

private:
    const std::uint8_t* mData;
    std::size_t mSize;
    std::size_t mPos = 0;
    CScopedClock mClock;
    CStopScope mStop;
    std::shared_ptr<CSimHost> mHost = std::make_shared<CSimHost>();
};

// VFWU_FUZZ_MODE=hostile or =corrupted holds every input to that mode (modeBit_I of the setup
// byte), to measure a mode alone; unset, the input chooses.
inline std::uint8_t HeldMode(std::uint8_t setup_I, std::uint8_t modeBit_I)
{
    static const std::string mode = std::getenv("VFWU_FUZZ_MODE") ? std::getenv("VFWU_FUZZ_MODE") : "";
    if (mode == "hostile")
        return static_cast<std::uint8_t>(setup_I & ~modeBit_I);
    return mode == "corrupted" ? static_cast<std::uint8_t>(setup_I | modeBit_I) : setup_I;
}

// Answers from the input, a control byte per report: low three bits 0 fail it (bit 3: and the next
// N, N from the next byte); for a GET, bit 4 takes the length from the input, bit 5 puts the id
// asked for in byte 0, and with bridge framing bit 6 a plausible status (bit 7: F2, else F0).
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
        const std::size_t high = (control & 0x10) ? mSession.Byte() : 0;
        answer_O = mSession.Bytes((control & 0x10) ? high * mLengthScale + mSession.Byte() : request_I.size());
        if (!answer_O.empty() && (control & 0x20))
            answer_O[0] = request_I[0];
        if (mBridgeFraming && answer_O.size() > 1 && (control & 0x40))
            answer_O[1] = static_cast<std::uint8_t>(0xF0 + (control >> 7) * 2);
        return true;
    }

private:
    std::uint8_t Next() // the report's control byte, 0 when it fails
    {
        if (mBurst > 0) {
            --mBurst;
            return 0;
        }
        if (mSession.Empty())
            mSession.Stop(); // and every report fails
        const std::uint8_t control = mSession.Byte();
        if ((control & 0x0F) == 8)
            mBurst = mSession.Byte();
        return (control & 7) != 0 ? control : 0;
    }

    CFuzzSession& mSession;
    std::size_t mLengthScale;
    bool mBridgeFraming;
    int mBurst = 0;
};

// Spoils chosen GET answers of a well-behaved device, or with onWire_I as they cross the OS
// boundary (the wrapped form on the vendor page). The input is a list of records: skip (answers
// passed first, modulo the skip range), kind (low four bits: flip bits, short, long, other id,
// stale, fail, 15 ends the list and lets the update run to its end; high four bits a variant),
// the kind's parameters (flip: 2 bytes per bit; short: the length; long: a count and the bytes;
// other id: the id). A spoiled answer shows within a few reports, and retry storms took the time:
// the update is stopped 8 reports after the records, after 128 SETs refused in a row (a SafeWrite
// with its reopen) and after a few whole updates' worth of reports.
class CAnswerCorruptor : public CSimHidDevice
{
public:
    // skipRange_I: about one update's GETs at this place, so that a record is mostly reached.
    CAnswerCorruptor(CFuzzSession& session_I, int skipRange_I, std::shared_ptr<CSimHidDevice> device_I,
                     bool onWire_I = false)
        : mSession(session_I), mSkipRange(skipRange_I), mDevice(std::move(device_I)), mOnWire(onWire_I)
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
        mRefusedInARow = accepted ? 0 : mRefusedInARow + 1;
        Count(mRefusedInARow == 128);
        return accepted;
    }

    bool GetFeature(const std::vector<std::uint8_t>& request_I, std::vector<std::uint8_t>& answer_O) override
    {
        bool ok = mDevice->GetFeature(request_I, answer_O);
        if (!mOnWire)
            Apply(request_I.empty() ? 0 : request_I[0], answer_O, ok);
        return ok;
    }

    bool Spoiled(std::uint8_t id_I) const { return mSpoiled[id_I]; }

private:
    // The genuine answer is kept for stale ones, copied only when spoiled (most cost no allocation).
    void Apply(std::uint8_t id_I, std::vector<std::uint8_t>& answer_IO, bool& ok_IO)
    {
        Count();
        const bool genuine = ok_IO && !answer_IO.empty();
        std::vector<std::uint8_t> given;
        if (mPending && mSkip-- == 0) {
            given = answer_IO;
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
            case 2: // longer
                for (const std::uint8_t extra : mSession.Bytes(1u + mSession.Byte()))
                    answer_IO.push_back(extra);
                answer_IO.push_back(mKind);
                break;
            case 3: // byte 0 names another report
                if (const std::uint8_t other = mSession.Byte(); !answer_IO.empty())
                    answer_IO[0] = static_cast<std::uint8_t>(other == answer_IO[0] ? other ^ 0x80 : other);
                break;
            case 4: // stale: variant 0 the last answer to this report, else the last answer of any
                if (variant % 2 == 0 && mSlotOf[id_I] != 0 && !LastAnswer(id_I).empty())
                    answer_IO = LastAnswer(id_I);
                else if (mLastId >= 0)
                    answer_IO = LastAnswer(static_cast<std::uint8_t>(mLastId));
                else
                    ok_IO = false;
                break;
            default:
                ok_IO = false;
            }
            mSpoiled[id_I] = true;
            NextRecord();
        }
        if (genuine) {
            if (mSlotOf[id_I] == 0) {
                mLast.emplace_back();
                mSlotOf[id_I] = static_cast<std::uint16_t>(mLast.size());
            }
            LastAnswer(id_I) = given.empty() ? answer_IO : given;
            mLastId = id_I;
        }
    }

    std::vector<std::uint8_t>& LastAnswer(std::uint8_t id_I) { return mLast[mSlotOf[id_I] - 1u]; } // slot made

    void Count(bool stop_I = false)
    {
        if (++mReports == 600 + 6 * mSkipRange || (!mPending && mTail-- == 0) || stop_I)
            mSession.Stop();
    }

    void NextRecord()
    {
        mPending = !mSession.Empty();
        mSkip = mSession.Byte() % mSkipRange;
        mKind = mSession.Byte();
        if (mPending && (mKind & 0x0F) == 0x0F) {
            mPending = false;
            mTail = -1; // runs to its end
        }
    }

    CFuzzSession& mSession;
    int mSkipRange;
    std::shared_ptr<CSimHidDevice> mDevice;
    bool mOnWire;
    int mReports = 0;
    bool mPending = false;
    int mTail = 8;
    int mRefusedInARow = 0;
    int mSkip = 0;
    std::uint8_t mKind = 0;
    // The last genuine answer per report id, in slots made as ids appear (an update asks some ten).
    std::array<std::uint16_t, 256> mSlotOf{}; // slot + 1, 0 for none yet
    std::vector<std::vector<std::uint8_t>> mLast;
    int mLastId = -1;
    std::array<bool, 256> mSpoiled{};
};

// A loader block and three to program (one with another word size if the layout asks), a tail of
// words, reads (at most the tunnel's 256 bytes) not dividing a block; type 1 checks 4096 bytes.
inline SimSRecLoaderConfig SmallSRecLoader(int protocolType_I, std::uint8_t layout_I)
{
    const std::uint32_t size = protocolType_I == 1 ? 0x1000 : 0x100;
    SimSRecLoaderConfig config;
    config.protocolType = protocolType_I;
    config.readSize = static_cast<std::uint16_t>(std::min<std::uint32_t>(size / 4, 0x100) - ((layout_I & 1) ? 16 : 0));
    config.wordSize = 4;
    config.blockSize = 64;
    // A type 1 loader without checksum support is never programmed (every block's checksum is
    // read back, 11 times over 101 reads): a corrupted input spent hundreds of failed reads
    // there for nothing that a hostile one does not reach. A type 0 one is (bits 1 and 5, a
    // quarter of layouts): its two checksum reads fail 101 times each, so that a run to the end
    // costs four times a board with checksums; at half the layouts it took a sixth of all reports.
    config.checksumSupport = protocolType_I == 1 || (layout_I & 0x22) != 0x22;
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

// Bytes in a block the (possibly spoiled) description calls protected are never written: a lie
// about the flag cannot be seen, so they are left out.
inline void ExpectImageOnBoard(const CSimSRecLoader& board_I, const CFLDeviceInterface& device_I,
                               const std::vector<SRecBlock>& image_I)
{
    std::uint32_t total = 0;
    const std::vector<FlashBlock> flash = device_I.GetFlashVector(total);
    for (const SRecBlock& segment : image_I)
        for (std::size_t i = 0; i < segment.data.size(); ++i) {
            const std::uint32_t address = segment.address + static_cast<std::uint32_t>(i);
            const auto block = std::find_if(flash.begin(), flash.end(), [address](const FlashBlock& b) {
                return b.address <= address && address - b.address < b.size;
            });
            if ((block == flash.end() || !block->isProtected) && board_I.FlashByte(address) != segment.data[i])
                FalseSuccess("S-record");
        }
}

// A success must be on the board unless a read answer (through B1 behind a bridge) was spoiled: it
// alone can fake what verification saw. No two chunks alike: a stale one never passes for another.
inline void ProgramSmallBoard(CFLDeviceInterface& device_I, int protocolType_I, const CSimSRecLoader& board_I,
                              const CAnswerCorruptor& corruptor_I, bool throughBridge_I = false)
{
    const std::uint8_t readId = throughBridge_I ? 0xB1 : BLReportIdFor(eBL_HID_REP_READ_ID, protocolType_I);
    // Read only, so built once per protocol type.
    static const std::array<std::vector<SRecBlock>, 2> images = [] {
        std::array<std::vector<SRecBlock>, 2> both;
        for (std::uint32_t type = 0; type < 2; ++type) {
            const std::uint32_t size = type == 1 ? 0x1000 : 0x100;
            std::vector<SRecBlock>& image = both[type];
            image = {{size + 0x10, {}}, {2 * size + 0x20, {}}, {3 * size, {}}};
            for (std::uint32_t i = 0; i < 150; ++i)
                image[0].data.push_back(static_cast<std::uint8_t>(i * 7 + 3));
            for (std::uint32_t i = 0; i < 40; ++i)
                image[1].data.push_back(static_cast<std::uint8_t>(0xA0 ^ (i * 13)));
            for (std::uint32_t i = 0; i < 64; ++i)
                image[2].data.push_back(static_cast<std::uint8_t>(0x11 + i * 3));
        }
        return both;
    }();
    const std::vector<SRecBlock>& image = images[protocolType_I == 1 ? 1 : 0];
    if (device_I.InitializeProgrammingData(image) && device_I.ProgramBoard() && device_I.VerifyFlash()
        && !corruptor_I.Spoiled(readId))
        ExpectImageOnBoard(board_I, device_I, image);
}

} // namespace fuzz
