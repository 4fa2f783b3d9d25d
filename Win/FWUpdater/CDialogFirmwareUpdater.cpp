#include "CDialogFirmwareUpdater.h"

#include "CWinDiscovery.h"
#include "CWinStringResources.h"
#include "CWinUpdateNotifier.h"
#include "FWUpdater/CUpdateController.h"
#include "FWUpdater/DialogResource.h"
#include "LanguageProvider.h"
#include "ResourceUtils.h"
#include "StringUtils.h"

#include <commctrl.h>
#include <commdlg.h>
#include <dbt.h>
// mingw-w64's HID headers lack the C linkage block of the SDK's.
extern "C" {
#include <hidsdi.h>
}

#include <vector>

namespace {

constexpr UINT_PTR kTimerId = 1;
// Interface events of the simulated bus wait in a queue; this message says there are some.
constexpr UINT WM_VFWU_INTERFACE_EVENT = WM_APP + 1;

constexpr COLORREF kGrey = RGB(220, 220, 220);
constexpr COLORREF kYellow = RGB(250, 250, 0);
constexpr COLORREF kGreen = RGB(190, 255, 190);
constexpr COLORREF kRed = RGB(255, 190, 190);

std::wstring W(const std::u16string& text_I)
{
    return std::wstring(text_I.begin(), text_I.end());
}

std::u16string U(const wchar_t* text_I)
{
    std::u16string result;
    for (; text_I != nullptr && *text_I != 0; ++text_I)
        result.push_back(static_cast<char16_t>(*text_I));
    return result;
}

HDEVNOTIFY RegisterInterfaceClass(HWND window_I, const GUID& class_I)
{
    DEV_BROADCAST_DEVICEINTERFACE_W filter {};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = class_I;
    return ::RegisterDeviceNotificationW(window_I, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

} // namespace

CDialogFirmwareUpdater::CDialogFirmwareUpdater(std::shared_ptr<CUpdateController> controller_I,
                                               const std::u16string& devicePath_I,
                                               const std::u16string& autoUpdateBoard_I, const std::string& language_I)
    : mLanguage(std::make_unique<LanguageProvider>("userUI", std::make_shared<CWinLanguagePlatform>()))
{
    if (!language_I.empty())
        mLanguage->SelectLanguage(language_I);
    LanguageProvider* language = mLanguage.get();
    mModel = std::make_unique<CMainDialogModel>(
        std::move(controller_I), std::make_unique<CWinUpdateNotifier>(),
        [language](int id_I) {
            return ResourceUtils::LoadResourceString(static_cast<std::uint32_t>(id_I), language->GetResourceLanguageId());
        },
        devicePath_I, autoUpdateBoard_I);
    mGreyBrush = ::CreateSolidBrush(kGrey);
    mYellowBrush = ::CreateSolidBrush(kYellow);
    mGreenBrush = ::CreateSolidBrush(kGreen);
    mRedBrush = ::CreateSolidBrush(kRed);
}

CDialogFirmwareUpdater::~CDialogFirmwareUpdater()
{
    // The model first: it signals the service, silences and stops the worker, closes the log.
    mModel.reset();
    for (HBRUSH brush : {mBackgroundBrush, mGreyBrush, mYellowBrush, mGreenBrush, mRedBrush}) {
        if (brush != nullptr)
            ::DeleteObject(brush);
    }
    if (mBannerFont != nullptr)
        ::DeleteObject(mBannerFont);
}

INT_PTR CDialogFirmwareUpdater::DoModal(HINSTANCE instance_I)
{
    return ::DialogBoxParamW(instance_I, MAKEINTRESOURCEW(IDD_FWUPDATER_DIALOG), nullptr, DialogProc,
                             reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CDialogFirmwareUpdater::DialogProc(HWND window_I, UINT message_I, WPARAM wParam_I, LPARAM lParam_I)
{
    CDialogFirmwareUpdater* self = nullptr;
    if (message_I == WM_INITDIALOG) {
        self = reinterpret_cast<CDialogFirmwareUpdater*>(lParam_I);
        ::SetWindowLongPtrW(window_I, DWLP_USER, lParam_I);
        self->mWindow = window_I;
    } else {
        self = reinterpret_cast<CDialogFirmwareUpdater*>(::GetWindowLongPtrW(window_I, DWLP_USER));
    }
    if (self == nullptr)
        return FALSE;
    INT_PTR result = 0;
    if (!self->ProcessMessage(message_I, wParam_I, lParam_I, result))
        return FALSE;
    return result;
}

bool CDialogFirmwareUpdater::ProcessMessage(UINT message_I, WPARAM wParam_I, LPARAM lParam_I, INT_PTR& result_O)
{
    switch (message_I) {
    case WM_INITDIALOG:
        OnInitDialog();
        result_O = TRUE;
        return true;
    case WM_TIMER:
        if (wParam_I == kTimerId && !mEnded)
            mModel->OnTimer(*this);
        result_O = 0;
        return true;
    case WM_CTLCOLORSTATIC:
        result_O = OnStaticColour(reinterpret_cast<HDC>(wParam_I), reinterpret_cast<HWND>(lParam_I));
        return true;
    case WM_CTLCOLORDLG:
        ::SetBkColor(reinterpret_cast<HDC>(wParam_I), mBackgroundColour);
        result_O = reinterpret_cast<INT_PTR>(mBackgroundBrush);
        return mBackgroundBrush != nullptr;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam_I), HIWORD(wParam_I));
        result_O = TRUE;
        return true;
    case WM_DEVICECHANGE:
        OnDeviceChange(wParam_I, lParam_I);
        result_O = TRUE;
        return true;
    case WM_CLOSE:
        if (!mModel->OnCloseRequest()) {
            // Busy: the window stays.
            ::SetWindowLongPtrW(mWindow, DWLP_MSGRESULT, 0);
            result_O = TRUE;
            return true;
        }
        return false; // the default processing turns it into the cancel command
    case WM_QUERYENDSESSION:
        ::SetWindowLongPtrW(mWindow, DWLP_MSGRESULT, mModel->OnQueryEndSession() ? TRUE : FALSE);
        result_O = TRUE;
        return true;
    case WM_VFWU_INTERFACE_EVENT:
        DeliverInterfaceEvents();
        result_O = TRUE;
        return true;
    case WM_DESTROY:
        Cleanup();
        return false;
    default:
        return false;
    }
}

void CDialogFirmwareUpdater::OnInitDialog()
{
    {
        std::lock_guard<std::mutex> lock(mEventMutex);
        mEventWindow = mWindow;
    }
    // The tooltip, the banner font and the background brush exist before the model shows anything.
    mTooltip = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, mWindow, nullptr, nullptr, nullptr);
    if (mTooltip != nullptr) {
        ::SendMessageW(mTooltip, TTM_SETMAXTIPWIDTH, 0, 400);
        ::SendMessageW(mTooltip, TTM_SETDELAYTIME, TTDT_AUTOMATIC, 1000);
        ::SendMessageW(mTooltip, TTM_ACTIVATE, TRUE, 0);
    }
    mBannerFont = ::CreateFontW(25, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_TT_PRECIS,
                                CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Arial");
    if (mBannerFont != nullptr) {
        ::SendDlgItemMessageW(mWindow, IDC_TABLET_LABEL, WM_SETFONT, reinterpret_cast<WPARAM>(mBannerFont), TRUE);
        ::SendDlgItemMessageW(mWindow, IDC_TABLET_NAME, WM_SETFONT, reinterpret_cast<WPARAM>(mBannerFont), TRUE);
    }
    if (HDC dc = ::GetDC(mWindow)) {
        mBackgroundColour = ::GetBkColor(dc);
        ::ReleaseDC(mWindow, dc);
    }
    mBackgroundBrush = ::CreateSolidBrush(mBackgroundColour);

    mModel->OnInitDialog(*this);
}

void CDialogFirmwareUpdater::OnCommand(WORD id_I, WORD code_I)
{
    if (mEnded)
        return;
    switch (id_I) {
    case IDCANCEL:
        mModel->OnCancel(*this);
        break;
    case IDC_UPDATE_TYPE:
        if (code_I == CBN_SELCHANGE) {
            const LRESULT position = ::SendDlgItemMessageW(mWindow, IDC_UPDATE_TYPE, CB_GETCURSEL, 0, 0);
            if (position != CB_ERR)
                mModel->OnUpdateTypeSelected(*this, static_cast<int>(position));
        }
        break;
    case IDC_BROWSE:
        if (code_I == BN_CLICKED)
            OnBrowse();
        break;
    case IDC_PROGRAM:
        if (code_I == BN_CLICKED)
            mModel->OnProgram(*this);
        break;
    default:
        break;
    }
}

void CDialogFirmwareUpdater::OnBrowse()
{
    wchar_t program[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    std::wstring directory(program, length);
    const std::size_t slash = directory.find_last_of(L"\\/");
    directory = slash == std::wstring::npos ? std::wstring() : directory.substr(0, slash);

    wchar_t file[260] = {};
    OPENFILENAMEW dialog {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = mWindow;
    dialog.lpstrFilter = mFileFilter.empty() ? nullptr : mFileFilter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file;
    dialog.nMaxFile = 260;
    dialog.lpstrInitialDir = directory.empty() ? nullptr : directory.c_str();
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!::GetOpenFileNameW(&dialog))
        return;
    mModel->OnFileChosen(*this, Utf16ToUtf8(U(file)));
}

void CDialogFirmwareUpdater::OnDeviceChange(WPARAM event_I, LPARAM data_I)
{
    if (event_I != DBT_DEVICEARRIVAL && event_I != DBT_DEVICEREMOVECOMPLETE)
        return;
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data_I);
    if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE)
        return;
    const auto* iface = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(data_I);
    const std::string path = Utf16ToUtf8(U(iface->dbcc_name));
    if (event_I == DBT_DEVICEARRIVAL)
        mModel->OnDeviceArrival(path);
    else
        mModel->OnDeviceRemoval(path);
}

INT_PTR CDialogFirmwareUpdater::OnStaticColour(HDC dc_I, HWND control_I)
{
    const int id = ::GetDlgCtrlID(control_I);
    if (id == IDC_SEPARATOR_CURRENT || id == IDC_SEPARATOR_NEW) {
        // The separators overlap the headings above them; drawn without a background they leave
        // the headings whole. Their text never changes, so nothing stale can show through.
        ::SetBkMode(dc_I, TRANSPARENT);
        return reinterpret_cast<INT_PTR>(::GetStockObject(NULL_BRUSH));
    }
    HBRUSH brush = mBackgroundBrush;
    COLORREF colour = mBackgroundColour;
    switch (mModel->GetColour(id)) {
    case EStatusColour::eGrey:
        brush = mGreyBrush;
        colour = kGrey;
        break;
    case EStatusColour::eYellow:
        brush = mYellowBrush;
        colour = kYellow;
        break;
    case EStatusColour::eGreen:
        brush = mGreenBrush;
        colour = kGreen;
        break;
    case EStatusColour::eRed:
        brush = mRedBrush;
        colour = kRed;
        break;
    case EStatusColour::eDefault:
        break;
    }
    ::SetBkColor(dc_I, colour);
    return reinterpret_cast<INT_PTR>(brush);
}

void CDialogFirmwareUpdater::PostInterfaceEvent(bool arrival_I, const std::string& path_I)
{
    std::lock_guard<std::mutex> lock(mEventMutex);
    if (mEventWindow == nullptr)
        return;
    mEvents.emplace_back(arrival_I, path_I);
    ::PostMessageW(mEventWindow, WM_VFWU_INTERFACE_EVENT, 0, 0);
}

void CDialogFirmwareUpdater::DeliverInterfaceEvents()
{
    for (;;) {
        std::pair<bool, std::string> event;
        {
            std::lock_guard<std::mutex> lock(mEventMutex);
            if (mEvents.empty())
                return;
            event = std::move(mEvents.front());
            mEvents.pop_front();
        }
        if (event.first)
            mModel->OnDeviceArrival(event.second);
        else
            mModel->OnDeviceRemoval(event.second);
    }
}

void CDialogFirmwareUpdater::Cleanup()
{
    {
        std::lock_guard<std::mutex> lock(mEventMutex);
        mEventWindow = nullptr;
        mEvents.clear();
    }
    ::KillTimer(mWindow, kTimerId);
    if (mHidNotification != nullptr)
        ::UnregisterDeviceNotification(mHidNotification);
    if (mTabletNotification != nullptr)
        ::UnregisterDeviceNotification(mTabletNotification);
    mHidNotification = mTabletNotification = nullptr;
    if (mTooltip != nullptr)
        ::DestroyWindow(mTooltip);
    mTooltip = nullptr;
}

// ---- CMainDialogView ------------------------------------------------------------------------------

void CDialogFirmwareUpdater::SetWindowTitle(const std::u16string& title_I)
{
    ::SetWindowTextW(mWindow, W(title_I).c_str());
}

void CDialogFirmwareUpdater::SetControlText(int controlId_I, const std::u16string& text_I)
{
    ::SetDlgItemTextW(mWindow, controlId_I, W(text_I).c_str());
}

void CDialogFirmwareUpdater::EnableControl(int controlId_I, bool enable_I)
{
    if (HWND control = ::GetDlgItem(mWindow, controlId_I))
        ::EnableWindow(control, enable_I ? TRUE : FALSE);
}

void CDialogFirmwareUpdater::EnableCloseCommand(bool enable_I)
{
    if (HMENU menu = ::GetSystemMenu(mWindow, FALSE))
        ::EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | (enable_I ? MF_ENABLED : MF_GRAYED));
}

void CDialogFirmwareUpdater::SetProgress(int position_I)
{
    ::SendDlgItemMessageW(mWindow, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position_I), 0);
}

void CDialogFirmwareUpdater::SetProgressRange(int low_I, int high_I)
{
    ::SendDlgItemMessageW(mWindow, IDC_PROGRESS, PBM_SETRANGE32, static_cast<WPARAM>(low_I), static_cast<LPARAM>(high_I));
}

void CDialogFirmwareUpdater::RefreshStatus()
{
    // In this order: the area's background first, then what lies on it.
    for (int id : {IDC_STATUS_BACKGROUND, IDC_PROGRESS, IDC_STATUS_TEXT}) {
        if (HWND control = ::GetDlgItem(mWindow, id))
            ::RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
}

EMessageResult CDialogFirmwareUpdater::ShowMessage(const std::u16string& text_I, const std::u16string& caption_I,
                                                   EMessageIcon icon_I, EMessageButtons buttons_I)
{
    UINT flags = buttons_I == EMessageButtons::eYesNo ? MB_YESNO : MB_OK;
    if (icon_I == EMessageIcon::eError)
        flags |= MB_ICONERROR;
    else if (icon_I == EMessageIcon::eInformation)
        flags |= MB_ICONINFORMATION;
    const int answer = ::MessageBoxW(mWindow, W(text_I).c_str(), W(caption_I).c_str(), flags);
    if (answer == IDYES)
        return EMessageResult::eYes;
    if (answer == IDNO)
        return EMessageResult::eNo;
    return EMessageResult::eOk;
}

void CDialogFirmwareUpdater::EndDialog(int result_I)
{
    mEnded = true;
    ::EndDialog(mWindow, result_I);
}

void CDialogFirmwareUpdater::StartTimer(std::uint32_t periodMs_I)
{
    ::SetTimer(mWindow, kTimerId, periodMs_I, nullptr);
}

void CDialogFirmwareUpdater::StopTimer()
{
    ::KillTimer(mWindow, kTimerId);
}

void CDialogFirmwareUpdater::SetUpdateTypeEntries(const std::vector<std::u16string>& entries_I, int selected_I)
{
    ::SendDlgItemMessageW(mWindow, IDC_UPDATE_TYPE, CB_RESETCONTENT, 0, 0);
    for (const std::u16string& entry : entries_I) {
        const std::wstring text = W(entry);
        ::SendDlgItemMessageW(mWindow, IDC_UPDATE_TYPE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    ::SendDlgItemMessageW(mWindow, IDC_UPDATE_TYPE, CB_SETCURSEL, static_cast<WPARAM>(selected_I), 0);
}

void CDialogFirmwareUpdater::SetFileFilter(const std::vector<std::pair<std::u16string, std::u16string>>& filter_I)
{
    mFileFilter.clear();
    for (const auto& [display, pattern] : filter_I) {
        mFileFilter += W(display);
        mFileFilter.push_back(L'\0');
        mFileFilter += W(pattern);
        mFileFilter.push_back(L'\0');
    }
    mFileFilter.push_back(L'\0');
}

void CDialogFirmwareUpdater::AttachFileTooltip(const std::u16string& path_I)
{
    HWND field = ::GetDlgItem(mWindow, IDC_FILE_NAME);
    if (mTooltip == nullptr || field == nullptr)
        return;
    mTooltipText = W(path_I);
    TTTOOLINFOW tool {};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = mWindow;
    tool.uId = reinterpret_cast<UINT_PTR>(field);
    tool.lpszText = mTooltipText.data();
    if (mTooltipAttached) {
        ::SendMessageW(mTooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    } else {
        mTooltipAttached = ::SendMessageW(mTooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool)) != FALSE;
    }
}

void CDialogFirmwareUpdater::ShowStatusStrip()
{
    for (int id = IDC_TABLET_LABEL;; ++id) {
        HWND control = ::GetDlgItem(mWindow, id);
        if (control == nullptr)
            break;
        ::ShowWindow(control, SW_HIDE);
    }
    HWND status = ::GetDlgItem(mWindow, IDC_STATUS_TEXT);
    HWND progress = ::GetDlgItem(mWindow, IDC_PROGRESS);
    HWND area = ::GetDlgItem(mWindow, IDC_STATUS_BACKGROUND);
    for (HWND control : {status, progress, area}) {
        if (control != nullptr)
            ::ShowWindow(control, SW_SHOW);
    }
    RECT window {};
    RECT areaRect {};
    ::GetWindowRect(mWindow, &window);
    if (area != nullptr)
        ::GetWindowRect(area, &areaRect);
    ::MoveWindow(mWindow, window.left + 60, window.top + 240, (areaRect.right - areaRect.left) + 16,
                 (areaRect.bottom - areaRect.top) + 36, TRUE);
    const UINT keepSize = SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE;
    if (status != nullptr)
        ::SetWindowPos(status, nullptr, 90, 50, 0, 0, keepSize);
    if (progress != nullptr)
        ::SetWindowPos(progress, nullptr, 7, 7, 0, 0, keepSize);
    if (area != nullptr)
        ::SetWindowPos(area, nullptr, 0, 0, 0, 0, keepSize);
}

bool CDialogFirmwareUpdater::ActivateOtherInstance(const std::u16string& title_I)
{
    HWND other = ::FindWindowW(nullptr, W(title_I).c_str());
    if (other == nullptr || other == mWindow)
        return false;
    ::SetForegroundWindow(other);
    return true;
}

bool CDialogFirmwareUpdater::RegisterHidNotifications()
{
    GUID hid {};
    ::HidD_GetHidGuid(&hid);
    mHidNotification = RegisterInterfaceClass(mWindow, hid);
    return mHidNotification != nullptr;
}

bool CDialogFirmwareUpdater::RegisterTabletNotifications()
{
    mTabletNotification = RegisterInterfaceClass(mWindow, kVellumUsbInterfaceGuid);
    return mTabletNotification != nullptr;
}
