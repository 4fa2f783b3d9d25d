#pragma once
// Runs one firmware update from start to end: accepts the firmware file for the chosen board,
// rediscovers devices, switches the board into its loader and back, programs it and reports
// every step, error and state change to the update notifier.
//
// Two threads use a controller: the update worker runs UpdateDevice (and with it the waiting
// loops), while the user-interface thread delivers arrivals and removals. The state is atomic,
// the current device is replaced and read under one lock, and every notifier call is made
// under a lock that SetNotifier(null) also takes, so once the notifier is cleared no report
// reaches it any more.

#include "FWUpdater/CInterfaceNotifier.h"
#include "FWUpdater/CSRec.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CDevice;
class CDiscovery;
class CFLDeviceInterface;
class CUpdateNotifier;

enum EUpdateState : std::int32_t
{
    ESTATE_IDLE = 0,
    ESTATE_READY = 1,
    ESTATE_ENTER_LOADER = 2,
    ESTATE_PROGRAM = 3,
    ESTATE_EXIT_LOADER = 4,
    ESTATE_SUCCESS = 5,
    ESTATE_FAILED = 6,
    ESTATE_TERMINATE = 7,
};

enum UpdateType : std::int32_t
{
    eUpdateTypePen = 0,
    eUpdateTypeTouch = 1,
    eUpdateTypeBluetooth = 2,
};

enum ErrorCode : std::int32_t
{
    eErrorNoDevice = 1,
    eErrorFileLoad = 3,
    eErrorFileType = 4,
    eErrorExitLoader = 5,
    eErrorProgram = 6,
    eErrorDevice = 8,
};

class CUpdateController : public CInterfaceNotifier
{
public:
    ~CUpdateController() override;

    // CInterfaceNotifier: forwarded to the update notifier; errors carry code 8.
    void Log(const std::string& message_I) override;
    void ReportError(const std::string& message_I) override;
    void ReportProgress(std::int32_t percent_I) override;

    // The resident tablet service's two events; false where the platform has none.
    virtual bool SignalStopEvent() = 0;
    virtual bool SignalStartEvent() = 0;

    // Not owned; null silences every report.
    void SetNotifier(CUpdateNotifier* notifier_I);
    // Clears the notifier if it is still notifier_I (its owner is about to destroy it), and
    // leaves a notifier set since then alone.
    void ReleaseNotifier(const CUpdateNotifier* notifier_I);

    bool ProcessUpdateFile(const std::string& path_I);
    void SetUpdateType(std::int32_t type_I);
    bool ValidateAutoUpdate(const std::string& typeWord_I, const std::string& directory_I);
    bool UpdateDeviceList();
    bool SelectDeviceByPath(const std::string& path_I);
    bool UpdateDevice();

    // Opt-in: after an S-record image is programmed, read it back and compare it before the
    // board leaves its loader (VerifyFlash); a difference fails the update. Off, the reports on
    // the wire are the programming sequence's alone.
    void SetVerifyAfterProgramming(bool verify_I) { mVerifyAfterProgramming.store(verify_I); }
    bool GetVerifyAfterProgramming() const { return mVerifyAfterProgramming.load(); }
    // True when the last update's image was read back and matched.
    bool WasVerified() const { return mVerified.load(); }

    std::shared_ptr<CDevice> GetCurrentDevice() const;
    std::int32_t GetUpdateType() const { return mUpdateType.load(); }
    bool IsAutoUpdate() const { return mAutoUpdate.load(); }
    std::int32_t GetState() const { return mState.load(); }
    const CSRec& GetDataSource() const { return mDataSource; }
    CDiscovery* GetDiscovery() const { return mDiscovery.get(); }

    // Device arrival and removal, with the interface path in UTF-8 (user-interface thread).
    void OnInterfaceAttached(const std::string& path_I);
    void OnInterfaceDetached(const std::string& path_I);
    bool IsCurrentDevicePath(const std::string& path_I) const;

protected:
    // The platform subclass supplies the discovery (owned from here on).
    explicit CUpdateController(std::unique_ptr<CDiscovery> discovery_I);

    std::shared_ptr<CFLDeviceInterface> GetMainInterface() const;
    std::uint32_t GetSectorsForUpdateType() const;
    std::shared_ptr<CFLDeviceInterface> GetLoaderInterface();
    std::shared_ptr<CFLDeviceInterface> GetNormalInterface();
    bool PreUpdate();
    bool ProgramLoaderBoard(const std::shared_ptr<CFLDeviceInterface>& interface_I);
    // With checksum support, the loader's sum of the new block checksums must be the sum the
    // image gives; anything else means the flash or the committed table is not the image.
    bool VerifyProgrammedChecksums(const std::shared_ptr<CFLDeviceInterface>& interface_I);
    // The opt-in read-back after programming; true when it is off or not applicable.
    bool VerifyProgrammedBoard(const std::shared_ptr<CFLDeviceInterface>& interface_I);
    void UpdateSucceeded();
    void UpdateFailed(std::int32_t code_I, const std::string& message_I);

    bool InitCheck(std::uint32_t sectors_I, bool checkSectors_I, const std::shared_ptr<CFLDeviceInterface>& interface_I);
    bool InitCheckForSRecData(std::uint32_t sectors_I, bool checkSectors_I,
                              const std::shared_ptr<CFLDeviceInterface>& interface_I);
    // The whole-image formats (Intel HEX, Airoha): the image must be loaded (have a start
    // address) before the interface is given it through attach_I. check_I names the step in the
    // log, imageKind_I the kind of file.
    template <class TImage>
    bool InitCheckForImageData(const char* check_I, const char* imageKind_I, const std::shared_ptr<TImage>& image_I,
                               void (CFLDeviceInterface::*attach_I)(std::shared_ptr<TImage>),
                               const std::shared_ptr<CFLDeviceInterface>& interface_I);

    // Stores the state after telling the notifier.
    void SetState(std::int32_t state_I);
    void NotifyError(std::int32_t code_I, const std::string& message_I);
    void NotifyState(std::int32_t state_I);

private:
    void SetCurrentDevice(std::shared_ptr<CDevice> device_I);
    void SetFollowedIdentity(const std::vector<std::string>& identity_I);
    std::vector<std::string> GetFollowedIdentity() const;
    // A board that switches in place (not I2C) answers on the same node in either mode. True when
    // it is seen out of its loader after the exit report: the loader no longer answers its
    // status read, or (when the exit report was never accepted) the application answers.
    bool LeftLoaderInPlace(const std::shared_ptr<CFLDeviceInterface>& interface_I, bool exitAccepted_I);
    bool WaitInterrupted() const;

    CSRec mDataSource;
    std::unique_ptr<CDiscovery> mDiscovery;

    mutable std::mutex mDeviceMutex;
    std::shared_ptr<CDevice> mCurrentDevice;
    // While an update runs: the identity (device-tree parent) of the tablet being updated, so
    // that rediscovery follows that tablet through its mode switches instead of selecting
    // whichever tablet comes first. Empty outside an update.
    std::vector<std::string> mFollowedIdentity;

    std::mutex mNotifierMutex;
    CUpdateNotifier* mNotifier = nullptr;

    std::atomic<std::int32_t> mState {ESTATE_IDLE};
    std::atomic<std::int32_t> mUpdateType {eUpdateTypePen};
    std::atomic<bool> mAutoUpdate {false};
    std::atomic<bool> mVerifyAfterProgramming {false};
    std::atomic<bool> mVerified {false};
};
