#pragma once
// What the harnesses of device answers share: the input reader, one input's world (virtual
// clock, a stop token bound to the thread, a fresh simulated host), the hostile device whose
// answers are the input's bytes, and the corruptor that spoils chosen answers of a well-behaved
// simulated board.
//
// Speed matters as much as reach here. A device that stops answering makes every report go
// through 100 retries, a reopen and the callers' own retries (about 10,000 attempts for one
// busy poll), so an input that simply ran dry cost tens of milliseconds. When the hostile
// device's input runs dry it therefore asks the update to stop, as the user's Cancel does: the
// retry loops then end at once. The retry paths stay reachable on purpose: a failure byte can
// fail a burst of up to 255 reports in a row, enough for the hundred attempts and the reopen.

#include "CSimHost.h"
#include "CSimImageLoader.h"
#include "CSimSRecLoader.h"
#include "Clock.h"
#include "FWUpdater/CFLDeviceInterface.h"
#include "FWUpdater/CFLProtocol.h"
#include "FWUpdater/CInterfaceNotifier.h"
#include "FWUpdater/SRecBlock.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fuzz {

class CFuzzInput
{
public:
    CFuzzInput(const std::uint8_t* data_I, std::size_t size_I) : mData(data_I), mSize(size_I) {}
    bool Empty() const { return mPos >= mSize; }
    std::uint8_t Byte() { return mPos < mSize ? mData[mPos++] : 0; }
    std::vector<std::uint8_t> Bytes(std::size_t n_I)
    {
        const std::size_t n = std::min(n_I, mSize - std::min(mPos, mSize));
        std::vector<std::uint8_t> out(mData + mPos, mData + mPos + n);
        mPos += n;
        return out;
    }

private:
    const std::uint8_t* mData;
    std::size_t mSize;
    std::size_t mPos = 0;
};

// VFWU_FUZZ_TRACE=1 prints every corruption and burst, to see what a finding or a seed does.
inline bool Tracing()
{
    static const bool tracing = std::getenv("VFWU_FUZZ_TRACE") != nullptr;
    return tracing;
}

// With tracing, the device interface's messages and errors go to stderr too; otherwise it has
// no notifier, as the messages would cost more than the reports.
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
    return Tracing() ? &notifier : nullptr;
}

// One input's world. Everything is made fresh per input (nothing carries over between inputs,
// so a finding replays alone), and all of it is cheap: the host holds one node.
class CFuzzSession
{
public:
    CFuzzSession(CFuzzInput& input_I, int protocolType_I)
        : mInput(input_I), mClock(std::make_shared<CVirtualClock>()), mScopedClock(mClock),
          mStop(std::make_shared<CStopToken>()), mStopScope(mStop), mHost(std::make_shared<CSimHost>())
    {
        CFLProtocol::Instance()->SetProtocolType(protocolType_I);
        mHost->SetTranscriptEnabled(false);
    }

    CFuzzInput& Input() { return mInput; }
    const std::shared_ptr<CSimHost>& Host() const { return mHost; }
    void AddNode(const std::string& path_I, std::uint16_t usagePage_I, std::shared_ptr<CSimHidDevice> device_I)
    {
        SimHidNodeInfo info;
        info.path = path_I;
        info.usagePage = usagePage_I;
        mHost->AddNode(info, std::move(device_I));
    }
    // The answers ran out: the update is cancelled, so its retry loops end without I/O.
    void Stop() { mStop->RequestStop(); }

private:
    CFuzzInput& mInput;
    std::shared_ptr<CVirtualClock> mClock;
    CScopedClock mScopedClock;
    std::shared_ptr<CStopToken> mStop;
    CStopScope mStopScope;
    std::shared_ptr<CSimHost> mHost;
};

// Answers from the input. A control byte per report: low three bits 0 fail it (with bit 3 also
// the next N reports, N from the next byte); for a GET, bit 4 takes the length from the input,
// bit 5 puts the asked-for id in byte 0, and the caller's framing hook may make the answer
// plausible. Once the input runs dry the session is stopped and every report fails.
class CHostileDevice : public CSimHidDevice
{
public:
    using Framing = void (*)(std::uint8_t control_I, std::vector<std::uint8_t>& answer_IO);

    CHostileDevice(CFuzzSession& session_I, std::size_t lengthScale_I, Framing framing_I = nullptr)
        : mSession(session_I), mInput(session_I.Input()), mLengthScale(lengthScale_I), mFraming(framing_I)
    {
    }

    bool SetFeature(const std::vector<std::uint8_t>&) override
    {
        std::uint8_t control = 0;
        return Next(control);
    }

    bool GetFeature(const std::vector<std::uint8_t>& request_I, std::vector<std::uint8_t>& answer_O) override
    {
        std::uint8_t control = 0;
        if (!Next(control))
            return false;
        std::size_t length = request_I.size();
        if (control & 0x10)
            length = mInput.Byte() * mLengthScale + mInput.Byte();
        answer_O = mInput.Bytes(length);
        if (!answer_O.empty() && (control & 0x20))
            answer_O[0] = request_I[0];
        if (mFraming)
            mFraming(control, answer_O);
        return true;
    }

private:
    // False when this report fails.
    bool Next(std::uint8_t& control_O)
    {
        if (mBurst > 0) {
            --mBurst;
            return false;
        }
        if (mInput.Empty()) {
            mSession.Stop();
            return false;
        }
        control_O = mInput.Byte();
        if ((control_O & 7) != 0)
            return true;
        if (control_O & 8) {
            mBurst = mInput.Byte();
            if (Tracing())
                std::fprintf(stderr, "fuzz: fail this report and %d more\n", mBurst);
        }
        return false;
    }

    CFuzzSession& mSession;
    CFuzzInput& mInput;
    std::size_t mLengthScale;
    Framing mFraming;
    int mBurst = 0;
};

// The kinds of spoiled answer.
enum ECorruption : std::uint8_t
{
    eCorruptFlipBits, // one to four bits of the answer inverted
    eCorruptShort,    // cut to fewer bytes than the device gave
    eCorruptLong,     // more bytes than the device gave
    eCorruptOtherId,  // byte 0 names another report
    eCorruptStale,    // the device's previous answer (to this report, else to any) again
    eCorruptFail,     // the GET fails
    eCorruptKinds,
};

// Spoils chosen GET answers of a well-behaved device. The input is a list of records:
//   skip (1 byte, modulo the place's range: answers that pass before the next spoiled one), kind (1 byte: the low four
//   bits pick the ECorruption, 15 ends the list, the high four bits pick a variant),
//   parameters (flip: 2 bytes per flipped bit; short: 1 byte, the new length; long: 1 byte
//   count, then that many bytes; other id: 1 byte).
// A whole update costs a hundred reports or more, and what a spoiled answer does shows within a
// few: so when the input runs out, a few more reports pass and then the update is stopped. An
// input that ends its list with an end record instead lets the update run to its end, where a
// reported success is checked against the board. A device that keeps refusing a command (one
// a spoiled answer made wrong) costs up to 1,111 SETs: after 128 refused in a row (one whole
// SafeWrite with its reopen, and a bit) the update is stopped too; so it is after a few whole
// updates' worth of reports (600 + 6 x the skip range): a retry storm (101 attempts per read,
// callers reading again) has shown what it does long before, and storms took most of the time.
class CAnswerCorruptor
{
public:
    static constexpr int kTailReports = 8;
    static constexpr int kRefusedSets = 128;
    static constexpr std::uint8_t kEndOfRecords = 0x0F;

    // skipRange_I: about the answers of one update at this place (19 GETs of an S-record loader,
    // 270 of an I2C bridge), so that a record's answer is mostly reached rather than the update
    // running clean past it.
    CAnswerCorruptor(CFuzzSession& session_I, int skipRange_I)
        : mSession(session_I), mInput(session_I.Input()), mSkipRange(skipRange_I), mBudget(600 + 6 * skipRange_I)
    {
        NextRecord();
    }

    // id_I: the report the answer belongs to (for stale answers and the bookkeeping of which
    // reports saw a spoiled answer).
    void Apply(std::uint8_t id_I, std::vector<std::uint8_t>& answer_IO, bool& ok_IO)
    {
        if (Tracing())
            std::fprintf(stderr, "fuzz: report %d: answer to 0x%02X\n", mReports, id_I);
        Count();
        // The genuine answer becomes the previous one; kept in place, so most answers cost no
        // allocation.
        const bool genuine = ok_IO && !answer_IO.empty();
        if (mPending && mSkip == 0) {
            const std::vector<std::uint8_t> answer = answer_IO;
            Corrupt(id_I, answer_IO, ok_IO);
            NextRecord();
            if (genuine)
                Remember(id_I, answer);
        } else {
            if (mPending)
                --mSkip;
            else
                CountTail();
            if (genuine)
                Remember(id_I, answer_IO);
        }
    }

    // A SET passed to the device, which accepted it or not.
    void Set(bool accepted_I)
    {
        Count();
        if (!mPending)
            CountTail();
        if (accepted_I) {
            mRefusedInARow = 0;
        } else if (++mRefusedInARow == kRefusedSets) {
            if (Tracing())
                std::fprintf(stderr, "fuzz: %d SETs refused in a row: stopped\n", kRefusedSets);
            mSession.Stop();
        }
    }

    bool SpoiledAny() const { return !mSpoiledIds.empty(); }
    bool Spoiled(std::uint8_t id_I) const { return mSpoiledIds.count(id_I) != 0; }

private:
    void Count()
    {
        if (++mReports == mBudget)
            mSession.Stop();
    }

    void CountTail()
    {
        if (!mRunToEnd && mTail-- == 0)
            mSession.Stop();
    }

    void Remember(std::uint8_t id_I, const std::vector<std::uint8_t>& answer_I)
    {
        mLastById[id_I].assign(answer_I.begin(), answer_I.end());
        mLast.assign(answer_I.begin(), answer_I.end());
    }

    void NextRecord()
    {
        mPending = !mInput.Empty();
        if (mPending) {
            mSkip = mInput.Byte() % mSkipRange;
            mKind = mInput.Byte();
            if ((mKind & 0x0F) == kEndOfRecords) {
                mPending = false;
                mRunToEnd = true;
            }
        }
    }

    void Corrupt(std::uint8_t id_I, std::vector<std::uint8_t>& answer_IO, bool& ok_IO)
    {
        const auto kind = static_cast<ECorruption>((mKind & 0x0F) % eCorruptKinds);
        const std::size_t before = answer_IO.size();
        switch (kind) {
        case eCorruptFlipBits: {
            const int flips = 1 + (mKind >> 4) % 4;
            for (int i = 0; i < flips; ++i) {
                std::uint16_t bit = static_cast<std::uint16_t>(mInput.Byte() << 8);
                bit = static_cast<std::uint16_t>(bit | mInput.Byte());
                if (!answer_IO.empty())
                    answer_IO[bit / 8 % answer_IO.size()] ^= static_cast<std::uint8_t>(1u << (bit % 8));
            }
            break;
        }
        case eCorruptShort:
            answer_IO.resize(answer_IO.empty() ? 0 : mInput.Byte() % answer_IO.size());
            break;
        case eCorruptLong: {
            const std::vector<std::uint8_t> extra = mInput.Bytes(1u + mInput.Byte());
            answer_IO.insert(answer_IO.end(), extra.begin(), extra.end());
            answer_IO.push_back(static_cast<std::uint8_t>(mKind));
            break;
        }
        case eCorruptOtherId: {
            std::uint8_t other = mInput.Byte();
            if (!answer_IO.empty()) {
                if (other == answer_IO[0])
                    other ^= 0x80;
                answer_IO[0] = other;
            }
            break;
        }
        case eCorruptStale: {
            // Variant 0: the last answer to this report; otherwise the last answer of any.
            const auto same = mLastById.find(id_I);
            if ((mKind >> 4) % 2 == 0 && same != mLastById.end())
                answer_IO = same->second;
            else if (!mLast.empty())
                answer_IO = mLast;
            else
                ok_IO = false; // nothing was answered yet: the device says nothing
            break;
        }
        case eCorruptFail:
        default:
            ok_IO = false;
            break;
        }
        mSpoiledIds[id_I] = true;
        if (Tracing())
            std::fprintf(stderr, "fuzz: answer to 0x%02X spoiled (kind %d): %zu -> %zu bytes, %s\n", id_I, kind,
                         before, answer_IO.size(), ok_IO ? "delivered" : "failed");
    }

    CFuzzSession& mSession;
    CFuzzInput& mInput;
    int mSkipRange;
    int mBudget;
    int mReports = 0;
    bool mPending = false;
    bool mRunToEnd = false;
    int mTail = kTailReports;
    int mRefusedInARow = 0;
    int mSkip = 0;
    std::uint8_t mKind = 0;
    std::map<std::uint8_t, std::vector<std::uint8_t>> mLastById;
    std::vector<std::uint8_t> mLast;
    std::map<std::uint8_t, bool> mSpoiledIds;
};

// A well-behaved simulated device whose GET answers pass through the corruptor (unless they
// are spoiled on the wire instead). SETs reach the device as sent: the class fuzzed is what
// comes back.
class CCorruptedDevice : public CSimHidDevice
{
public:
    CCorruptedDevice(std::shared_ptr<CSimHidDevice> device_I, CAnswerCorruptor& corruptor_I, bool spoilGets_I = true)
        : mDevice(std::move(device_I)), mCorruptor(corruptor_I), mSpoilGets(spoilGets_I)
    {
    }
    bool SetFeature(const std::vector<std::uint8_t>& report_I) override
    {
        const bool accepted = mDevice->SetFeature(report_I);
        mCorruptor.Set(accepted);
        return accepted;
    }
    bool GetFeature(const std::vector<std::uint8_t>& request_I, std::vector<std::uint8_t>& answer_O) override
    {
        bool ok = mDevice->GetFeature(request_I, answer_O);
        if (mSpoilGets)
            mCorruptor.Apply(request_I.empty() ? 0 : request_I[0], answer_O, ok);
        return ok;
    }

private:
    std::shared_ptr<CSimHidDevice> mDevice;
    CAnswerCorruptor& mCorruptor;
    bool mSpoilGets;
};

// Spoils the answers as they cross the OS boundary instead: on the vendor page that is the
// wrapped form, so the wrapper's id and length field are hit too. The node's device must be a
// CCorruptedDevice that leaves GETs alone, so that SETs are still counted.
inline void CorruptOnTheWire(CFuzzSession& session_I, CAnswerCorruptor& corruptor_I)
{
    session_I.Host()->SetWireTamper([&corruptor_I](const std::string&, std::vector<std::uint8_t>& bytes, bool& ok) {
        // The wrapped inner id when there is one; the host gave a well-formed answer.
        const std::uint8_t id = bytes.size() > 3 && bytes[0] == 0xDC ? bytes[3] : (bytes.empty() ? 0 : bytes[0]);
        corruptor_I.Apply(id, bytes, ok);
    });
}

// Blocks of the small board: a protocol-type-1 loader checks a block as 4096 bytes, so its
// blocks have that size; type 0 boards get smaller ones, for fewer reports per input.
inline std::uint32_t SmallBlockSize(int protocolType_I)
{
    return protocolType_I == 1 ? 0x1000 : 0x100;
}

// A small S-record board: a protected loader block, three blocks to program (one of them with
// a word size other than the loader's when the layout asks for it), a block size that leaves a
// tail of words, and a read size that does not always divide the blocks.
inline SimSRecLoaderConfig SmallSRecLoader(int protocolType_I, std::uint8_t layout_I)
{
    const std::uint32_t size = SmallBlockSize(protocolType_I);
    SimSRecLoaderConfig config;
    config.protocolType = protocolType_I;
    // At most 256 bytes, what the I2C tunnel carries.
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

// The image for it: bytes no two chunks of which are alike (so a stale chunk never passes for
// the right one); whole write blocks with a tail of words, words only, and one whole block.
inline std::vector<SRecBlock> SmallSRecImage(int protocolType_I)
{
    const std::uint32_t size = SmallBlockSize(protocolType_I);
    std::vector<SRecBlock> image(3);
    image[0].address = size + 0x10;
    image[1].address = 2 * size + 0x20;
    image[2].address = 3 * size;
    for (std::uint32_t i = 0; i < 150; ++i)
        image[0].data.push_back(static_cast<std::uint8_t>(i * 7 + 3));
    for (std::uint32_t i = 0; i < 40; ++i)
        image[1].data.push_back(static_cast<std::uint8_t>(0xA0 ^ (i * 13)));
    for (std::uint32_t i = 0; i < 64; ++i)
        image[2].data.push_back(static_cast<std::uint8_t>(0x11 + i * 3));
    return image;
}

// A reported success must mean the board holds the image: a false success is a finding. Bytes
// the host placed in a block the (possibly spoiled) description calls protected are left out:
// such data is never written, by design, and a lie about the flag cannot be seen through.
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
            if (block != flash.end() && block->isProtected)
                continue;
            if (board_I.FlashByte(address) != segment.data[i]) {
                std::fprintf(stderr, "fuzz: success reported, but the board holds 0x%02X at 0x%X instead of 0x%02X\n",
                             board_I.FlashByte(address), address, segment.data[i]);
                std::abort();
            }
        }
    }
}

} // namespace fuzz
