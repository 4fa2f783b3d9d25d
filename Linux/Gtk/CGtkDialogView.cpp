#include "CGtkDialogView.h"

#include "FWUpdater/DialogResource.h"
#include "StringUtils.h"

#include <algorithm>

namespace {

// The status colours of the dialog (busy yellow, success green, failure red) and its grey banner.
const char kStyle[] = R"css(
.vfwu-banner { background-color: rgb(220,220,220); padding: 10px 14px; }
.vfwu-banner label { color: black; font-family: Arial, sans-serif; font-size: 19px; }
.vfwu-heading { font-weight: bold; }
.vfwu-file { border: 1px solid alpha(currentColor, 0.35); border-radius: 3px; padding: 3px 6px; }
.vfwu-status { padding: 8px 10px; border-radius: 4px; }
.vfwu-busy { background-color: rgb(250,250,0); }
.vfwu-success { background-color: rgb(190,255,190); }
.vfwu-failure { background-color: rgb(255,190,190); }
.vfwu-busy label, .vfwu-success label, .vfwu-failure label { color: black; }
)css";

std::string Utf8(const std::u16string& text_I)
{
    return Utf16ToUtf8(text_I);
}

const char* StatusClassOf(EStatusColour colour_I)
{
    switch (colour_I) {
    case EStatusColour::eYellow:
        return "vfwu-busy";
    case EStatusColour::eGreen:
        return "vfwu-success";
    case EStatusColour::eRed:
        return "vfwu-failure";
    default:
        return "";
    }
}

void InstallStyle()
{
    static bool installed = false;
    GdkDisplay* display = gdk_display_get_default();
    if (installed || display == nullptr)
        return;
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, kStyle, -1);
    gtk_style_context_add_provider_for_display(display, GTK_STYLE_PROVIDER(provider),
                                               GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(provider);
    installed = true;
}

// A message box waits in its own loop for its answer, as a modal box does.
struct MessageWait
{
    GMainLoop* loop = nullptr;
    GtkWidget* dialog = nullptr;
    int response = GTK_RESPONSE_NONE;
    int answer = GTK_RESPONSE_NONE; // the answerer's, delivered from the main loop
    guint timeout = 0;
    guint answerSource = 0;
};

void OnMessageResponse(GtkDialog*, int response_I, gpointer wait_I)
{
    auto* wait = static_cast<MessageWait*>(wait_I);
    if (wait->response == GTK_RESPONSE_NONE)
        wait->response = response_I;
    g_main_loop_quit(wait->loop);
}

gboolean OnMessageTimeout(gpointer wait_I)
{
    auto* wait = static_cast<MessageWait*>(wait_I);
    wait->timeout = 0;
    gtk_dialog_response(GTK_DIALOG(wait->dialog), GTK_RESPONSE_OK);
    return G_SOURCE_REMOVE;
}

gboolean OnMessageAnswer(gpointer wait_I)
{
    auto* wait = static_cast<MessageWait*>(wait_I);
    wait->answerSource = 0;
    gtk_dialog_response(GTK_DIALOG(wait->dialog), wait->answer);
    return G_SOURCE_REMOVE;
}

} // namespace

void RunOnMainLoop(std::function<void()> fn_I)
{
    auto* fn = new std::function<void()>(std::move(fn_I));
    g_idle_add_full(
        G_PRIORITY_DEFAULT,
        [](gpointer data_I) -> gboolean {
            (*static_cast<std::function<void()>*>(data_I))();
            return G_SOURCE_REMOVE;
        },
        fn, [](gpointer data_I) { delete static_cast<std::function<void()>*>(data_I); });
}

// ---- CGLibTicker -------------------------------------------------------------------------------

CGLibTicker::~CGLibTicker()
{
    Stop();
}

void CGLibTicker::Start(std::uint32_t periodMs_I, std::function<void()> tick_I)
{
    Stop();
    mTick = std::move(tick_I);
    mSource = g_timeout_add(periodMs_I, &CGLibTicker::OnTimeout, this);
}

void CGLibTicker::Stop()
{
    if (mSource != 0)
        g_source_remove(mSource);
    mSource = 0;
}

gboolean CGLibTicker::OnTimeout(gpointer self_I)
{
    auto* self = static_cast<CGLibTicker*>(self_I);
    // The tick may stop (or restart) this timer; keep the callable alive through the call.
    const std::function<void()> tick = self->mTick;
    const guint source = self->mSource;
    tick();
    return self->mSource == source && source != 0 ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

// ---- CGtkDialogView ----------------------------------------------------------------------------

CGtkDialogView::CGtkDialogView(CMainDialogModel& model_I, std::unique_ptr<CGtkTicker> ticker_I, Settings settings_I)
    : mModel(model_I), mTicker(std::move(ticker_I)), mSettings(std::move(settings_I))
{
    InstallStyle();
    mLoop = g_main_loop_new(nullptr, FALSE);
    Build();
}

CGtkDialogView::~CGtkDialogView()
{
    mTicker->Stop();
    if (mWindow != nullptr)
        gtk_window_destroy(mWindow);
    g_main_loop_unref(mLoop);
}

GtkWidget* CGtkDialogView::AddLabel(int controlId_I, const char* text_I)
{
    GtkWidget* label = gtk_label_new(text_I);
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    mControls[controlId_I] = label;
    return label;
}

void CGtkDialogView::Build()
{
    mWindow = GTK_WINDOW(gtk_window_new());
    // A fixed-size dialog: the window takes the size its contents ask for.
    gtk_window_set_resizable(mWindow, FALSE);
    gtk_window_set_icon_name(mWindow, "vellum-fwupdater");
    g_signal_connect(mWindow, "close-request", G_CALLBACK(+[](GtkWindow*, gpointer self_I) -> gboolean {
                         static_cast<CGtkDialogView*>(self_I)->RequestClose();
                         return TRUE;
                     }),
                     this);
    GtkEventController* shortcuts = gtk_shortcut_controller_new();
    gtk_shortcut_controller_add_shortcut(
        GTK_SHORTCUT_CONTROLLER(shortcuts),
        gtk_shortcut_new(gtk_keyval_trigger_new(GDK_KEY_Escape, GdkModifierType(0)),
                         gtk_callback_action_new(
                             [](GtkWidget*, GVariant*, gpointer self_I) -> gboolean {
                                 static_cast<CGtkDialogView*>(self_I)->Cancel();
                                 return TRUE;
                             },
                             this, nullptr)));
    gtk_widget_add_controller(GTK_WIDGET(mWindow), shortcuts);

    GtkWidget* root = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_window_set_child(mWindow, root);

    // Banner: "Tablet: " and the tablet's name on grey.
    GtkWidget* banner = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    gtk_widget_add_css_class(banner, "vfwu-banner");
    mControls[IDC_BANNER_BACKGROUND] = banner;
    gtk_box_append(GTK_BOX(banner), AddLabel(IDC_TABLET_LABEL, "Tablet: "));
    GtkWidget* name = AddLabel(IDC_TABLET_NAME, "");
    gtk_label_set_ellipsize(GTK_LABEL(name), PANGO_ELLIPSIZE_END);
    gtk_widget_set_hexpand(name, TRUE);
    gtk_box_append(GTK_BOX(banner), name);
    gtk_box_append(GTK_BOX(root), banner);

    mContent = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    gtk_widget_set_margin_start(mContent, 16);
    gtk_widget_set_margin_end(mContent, 16);
    gtk_widget_set_margin_top(mContent, 12);
    gtk_box_append(GTK_BOX(root), mContent);

    const auto heading = [this](int controlId_I, const char* text_I) {
        GtkWidget* label = AddLabel(controlId_I, text_I);
        gtk_widget_add_css_class(label, "vfwu-heading");
        gtk_box_append(GTK_BOX(mContent), label);
        gtk_box_append(GTK_BOX(mContent), gtk_separator_new(GTK_ORIENTATION_HORIZONTAL));
    };

    // Current firmware: version and the checksums before and after the last update, per board.
    heading(IDC_CURRENT_FIRMWARE_HEADING, "Current Firmware");
    GtkWidget* current = gtk_grid_new();
    gtk_grid_set_column_spacing(GTK_GRID(current), 24);
    gtk_grid_set_row_spacing(GTK_GRID(current), 3);
    gtk_widget_set_margin_bottom(current, 12);
    struct Row
    {
        int labelId;
        const char* label;
        int valueId;
        const char* value;
        bool indented;
    };
    const Row rows[] = {
        {IDC_PEN_VERSION_LABEL, "Pen Firmware Version:", IDC_PEN_VERSION, "", false},
        {IDC_PEN_OLD_CHECKSUM_LABEL, "Old Checksum:", IDC_PEN_OLD_CHECKSUM, "N/A", true},
        {IDC_PEN_NEW_CHECKSUM_LABEL, "New Checksum:", IDC_PEN_NEW_CHECKSUM, "N/A", true},
        {IDC_TOUCH_VERSION_LABEL, "Touch Firmware Version:", IDC_TOUCH_VERSION, "Not Supported", false},
        {IDC_TOUCH_OLD_CHECKSUM_LABEL, "Old Checksum:", IDC_TOUCH_OLD_CHECKSUM, "N/A", true},
        {IDC_TOUCH_NEW_CHECKSUM_LABEL, "New Checksum:", IDC_TOUCH_NEW_CHECKSUM, "N/A", true},
        {IDC_BLUETOOTH_VERSION_LABEL, "Bluetooth Firmware Version:", IDC_BLUETOOTH_VERSION, "Not Supported", false},
        {IDC_BLUETOOTH_OLD_CHECKSUM_LABEL, "Old Checksum:", IDC_BLUETOOTH_OLD_CHECKSUM, "N/A", true},
        {IDC_BLUETOOTH_NEW_CHECKSUM_LABEL, "New Checksum:", IDC_BLUETOOTH_NEW_CHECKSUM, "N/A", true},
    };
    int row = 0;
    for (const Row& r : rows) {
        GtkWidget* label = AddLabel(r.labelId, r.label);
        if (r.indented)
            gtk_widget_set_margin_start(label, 24);
        else if (row != 0)
            gtk_widget_set_margin_top(label, 6);
        GtkWidget* value = AddLabel(r.valueId, r.value);
        gtk_widget_set_valign(value, GTK_ALIGN_END);
        gtk_grid_attach(GTK_GRID(current), label, 0, row, 1, 1);
        gtk_grid_attach(GTK_GRID(current), value, 1, row, 1, 1);
        ++row;
    }
    gtk_box_append(GTK_BOX(mContent), current);

    // New firmware: update type, file and its checksum.
    heading(IDC_NEW_FIRMWARE_HEADING, "New Firmware");
    GtkWidget* chosen = gtk_grid_new();
    gtk_grid_set_column_spacing(GTK_GRID(chosen), 12);
    gtk_grid_set_row_spacing(GTK_GRID(chosen), 6);
    gtk_grid_attach(GTK_GRID(chosen), AddLabel(IDC_UPDATE_TYPE_LABEL, "Firmware Update Type:"), 0, 0, 1, 1);
    mUpdateTypeList = gtk_string_list_new(nullptr);
    mUpdateType = gtk_drop_down_new(G_LIST_MODEL(mUpdateTypeList), nullptr);
    gtk_widget_set_halign(mUpdateType, GTK_ALIGN_START);
    mControls[IDC_UPDATE_TYPE] = mUpdateType;
    g_signal_connect(mUpdateType, "notify::selected", G_CALLBACK(+[](GObject*, GParamSpec*, gpointer self_I) {
                         auto* self = static_cast<CGtkDialogView*>(self_I);
                         if (self->mFillingEntries)
                             return;
                         const guint selected = gtk_drop_down_get_selected(GTK_DROP_DOWN(self->mUpdateType));
                         if (selected != GTK_INVALID_LIST_POSITION)
                             self->mModel.OnUpdateTypeSelected(*self, static_cast<int>(selected));
                     }),
                     this);
    gtk_grid_attach(GTK_GRID(chosen), mUpdateType, 1, 0, 2, 1);

    gtk_grid_attach(GTK_GRID(chosen), AddLabel(IDC_FILE_LABEL, "Firmware File:"), 0, 1, 1, 1);
    GtkWidget* file = AddLabel(IDC_FILE_NAME, "");
    gtk_widget_add_css_class(file, "vfwu-file");
    gtk_label_set_ellipsize(GTK_LABEL(file), PANGO_ELLIPSIZE_MIDDLE);
    gtk_label_set_width_chars(GTK_LABEL(file), 32);
    gtk_widget_set_hexpand(file, TRUE);
    gtk_grid_attach(GTK_GRID(chosen), file, 1, 1, 1, 1);
    GtkWidget* browse = gtk_button_new_with_label("Browse...");
    mControls[IDC_BROWSE] = browse;
    g_signal_connect(browse, "clicked",
                     G_CALLBACK(+[](GtkButton*, gpointer self_I) { static_cast<CGtkDialogView*>(self_I)->Browse(); }), this);
    gtk_grid_attach(GTK_GRID(chosen), browse, 2, 1, 1, 1);
    gtk_grid_attach(GTK_GRID(chosen), AddLabel(IDC_CHECKSUM_LABEL, "Checksum:"), 0, 2, 1, 1);
    GtkWidget* checksum = AddLabel(IDC_CHECKSUM, "N/A");
    gtk_grid_attach(GTK_GRID(chosen), checksum, 1, 2, 2, 1);
    gtk_box_append(GTK_BOX(mContent), chosen);

    // Program, and the status area: progress bar and state text on the state's colour.
    GtkWidget* bottom = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 10);
    gtk_widget_set_margin_start(bottom, 16);
    gtk_widget_set_margin_end(bottom, 16);
    gtk_widget_set_margin_top(bottom, 14);
    gtk_widget_set_margin_bottom(bottom, 16);
    GtkWidget* program = gtk_button_new_with_label("Program");
    gtk_widget_add_css_class(program, "suggested-action");
    gtk_widget_set_size_request(program, 96, -1);
    gtk_widget_set_sensitive(program, FALSE);
    mControls[IDC_PROGRAM] = program;
    g_signal_connect(program, "clicked",
                     G_CALLBACK(+[](GtkButton*, gpointer self_I) { static_cast<CGtkDialogView*>(self_I)->PressProgram(); }),
                     this);
    gtk_box_append(GTK_BOX(bottom), program);
    mStatusArea = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    gtk_widget_add_css_class(mStatusArea, "vfwu-status");
    gtk_widget_set_hexpand(mStatusArea, TRUE);
    gtk_widget_set_size_request(mStatusArea, 380, -1);
    mControls[IDC_STATUS_BACKGROUND] = mStatusArea;
    mProgress = gtk_progress_bar_new();
    gtk_widget_set_valign(mProgress, GTK_ALIGN_CENTER);
    mControls[IDC_PROGRESS] = mProgress;
    gtk_box_append(GTK_BOX(mStatusArea), mProgress);
    GtkWidget* status = AddLabel(IDC_STATUS_TEXT, "");
    gtk_label_set_xalign(GTK_LABEL(status), 0.5f);
    // Keeps its height while empty, so the area does not jump when a text appears.
    gtk_label_set_text(GTK_LABEL(status), " ");
    gtk_box_append(GTK_BOX(mStatusArea), status);
    gtk_box_append(GTK_BOX(bottom), mStatusArea);
    gtk_box_append(GTK_BOX(root), bottom);
}

GtkWidget* CGtkDialogView::Control(int controlId_I) const
{
    const auto it = mControls.find(controlId_I);
    return it == mControls.end() ? nullptr : it->second;
}

bool CGtkDialogView::Open()
{
    mModel.OnInitDialog(*this);
    if (mResult)
        return false;
    ApplyStatusColour();
    gtk_window_present(mWindow);
    return true;
}

int CGtkDialogView::Run()
{
    if (Open() && !mResult)
        g_main_loop_run(mLoop);
    return mResult.value_or(1);
}

void CGtkDialogView::Quit()
{
    if (g_main_loop_is_running(mLoop))
        g_main_loop_quit(mLoop);
}

void CGtkDialogView::SetWindowTitle(const std::u16string& title_I)
{
    gtk_window_set_title(mWindow, Utf8(title_I).c_str());
}

void CGtkDialogView::SetControlText(int controlId_I, const std::u16string& text_I)
{
    GtkWidget* control = Control(controlId_I);
    if (control == nullptr || !GTK_IS_LABEL(control))
        return;
    std::string text = Utf8(text_I);
    // The empty status line keeps its height.
    if (controlId_I == IDC_STATUS_TEXT && text.empty())
        text = " ";
    gtk_label_set_text(GTK_LABEL(control), text.c_str());
}

std::string CGtkDialogView::LabelText(int controlId_I) const
{
    GtkWidget* control = Control(controlId_I);
    if (control == nullptr || !GTK_IS_LABEL(control))
        return std::string();
    std::string text = gtk_label_get_text(GTK_LABEL(control));
    return text == " " ? std::string() : text;
}

void CGtkDialogView::EnableControl(int controlId_I, bool enable_I)
{
    if (GtkWidget* control = Control(controlId_I))
        gtk_widget_set_sensitive(control, enable_I);
}

bool CGtkDialogView::IsEnabled(int controlId_I) const
{
    GtkWidget* control = Control(controlId_I);
    return control != nullptr && gtk_widget_get_sensitive(control);
}

bool CGtkDialogView::IsVisible(int controlId_I) const
{
    GtkWidget* control = Control(controlId_I);
    if (control == nullptr)
        return false;
    for (GtkWidget* widget = control; widget != nullptr; widget = gtk_widget_get_parent(widget)) {
        if (!gtk_widget_get_visible(widget))
            return false;
    }
    return true;
}

void CGtkDialogView::EnableCloseCommand(bool enable_I)
{
    // The title bar's close button; a close request while busy is refused all the same.
    gtk_window_set_deletable(mWindow, enable_I);
}

bool CGtkDialogView::CloseCommandEnabled() const
{
    return gtk_window_get_deletable(mWindow);
}

void CGtkDialogView::SetProgress(int position_I)
{
    const int span = mHigh > mLow ? mHigh - mLow : 100;
    const double fraction = static_cast<double>(std::clamp(position_I, mLow, mLow + span) - mLow) / span;
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(mProgress), fraction);
}

double CGtkDialogView::ProgressFraction() const
{
    return gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(mProgress));
}

void CGtkDialogView::SetProgressRange(int low_I, int high_I)
{
    mLow = low_I;
    mHigh = high_I;
}

void CGtkDialogView::ApplyStatusColour()
{
    const std::string wanted = StatusClassOf(mModel.GetColour(IDC_STATUS_BACKGROUND));
    if (wanted == mStatusClass)
        return;
    if (!mStatusClass.empty())
        gtk_widget_remove_css_class(mStatusArea, mStatusClass.c_str());
    if (!wanted.empty())
        gtk_widget_add_css_class(mStatusArea, wanted.c_str());
    mStatusClass = wanted;
}

std::string CGtkDialogView::StatusClass() const
{
    return mStatusClass;
}

void CGtkDialogView::RefreshStatus()
{
    ApplyStatusColour();
    gtk_widget_queue_draw(mStatusArea);
}

EMessageResult CGtkDialogView::ShowMessage(const std::u16string& text_I, const std::u16string& caption_I,
                                           EMessageIcon icon_I, EMessageButtons buttons_I)
{
    const GtkShownMessage shown{text_I, caption_I, icon_I, buttons_I};
    mMessages.push_back(shown);
    const GtkMessageType type = icon_I == EMessageIcon::eError         ? GTK_MESSAGE_ERROR
                                : icon_I == EMessageIcon::eInformation ? GTK_MESSAGE_INFO
                                                                       : GTK_MESSAGE_QUESTION;
    const bool yesNo = buttons_I == EMessageButtons::eYesNo;
    GtkWindow* parent = gtk_widget_get_visible(GTK_WIDGET(mWindow)) ? mWindow : nullptr;
    MessageWait wait;
    wait.loop = g_main_loop_new(nullptr, FALSE);
    wait.dialog = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, type, yesNo ? GTK_BUTTONS_YES_NO : GTK_BUTTONS_OK, "%s",
                                         Utf8(text_I).c_str());
    gtk_window_set_title(GTK_WINDOW(wait.dialog), Utf8(caption_I).c_str());
    g_signal_connect(wait.dialog, "response", G_CALLBACK(OnMessageResponse), &wait);
    gtk_window_present(GTK_WINDOW(wait.dialog));
    if (!yesNo && mSettings.messageTimeoutMs != 0)
        wait.timeout = g_timeout_add(mSettings.messageTimeoutMs, OnMessageTimeout, &wait);
    if (mAnswerer) {
        const EMessageResult answer = mAnswerer(shown);
        wait.answer = answer == EMessageResult::eYes ? GTK_RESPONSE_YES
                      : answer == EMessageResult::eNo ? GTK_RESPONSE_NO
                                                      : GTK_RESPONSE_OK;
        wait.answerSource = g_idle_add(OnMessageAnswer, &wait);
    }
    // Timer ticks wait while the box is open: the model acts on the answer first.
    ++mModalDepth;
    g_main_loop_run(wait.loop);
    --mModalDepth;
    if (wait.timeout != 0)
        g_source_remove(wait.timeout);
    if (wait.answerSource != 0)
        g_source_remove(wait.answerSource);
    gtk_window_destroy(GTK_WINDOW(wait.dialog));
    g_main_loop_unref(wait.loop);
    if (!yesNo)
        return EMessageResult::eOk;
    // Closing the box is "No": the update must not start unconfirmed.
    return wait.response == GTK_RESPONSE_YES ? EMessageResult::eYes : EMessageResult::eNo;
}

void CGtkDialogView::EndDialog(int result_I)
{
    if (!mResult)
        mResult = result_I;
    StopTimer();
    gtk_widget_set_visible(GTK_WIDGET(mWindow), FALSE);
    Quit();
}

void CGtkDialogView::StartTimer(std::uint32_t periodMs_I)
{
    mTimerRunning = true;
    mTicker->Start(periodMs_I, [this] { Tick(); });
}

void CGtkDialogView::StopTimer()
{
    mTimerRunning = false;
    mTicker->Stop();
}

void CGtkDialogView::Tick()
{
    if (mModalDepth > 0 || mResult)
        return;
    mModel.OnTimer(*this);
    if (!mResult)
        ApplyStatusColour();
}

void CGtkDialogView::SetUpdateTypeEntries(const std::vector<std::u16string>& entries_I, int selected_I)
{
    std::vector<std::string> texts;
    for (const std::u16string& entry : entries_I)
        texts.push_back(Utf8(entry));
    std::vector<const char*> pointers;
    for (const std::string& text : texts)
        pointers.push_back(text.c_str());
    pointers.push_back(nullptr);
    mFillingEntries = true;
    gtk_string_list_splice(mUpdateTypeList, 0, g_list_model_get_n_items(G_LIST_MODEL(mUpdateTypeList)), pointers.data());
    gtk_drop_down_set_selected(GTK_DROP_DOWN(mUpdateType), static_cast<guint>(selected_I));
    mFillingEntries = false;
}

std::vector<std::string> CGtkDialogView::UpdateTypeEntries() const
{
    std::vector<std::string> entries;
    const guint count = g_list_model_get_n_items(G_LIST_MODEL(mUpdateTypeList));
    for (guint i = 0; i < count; ++i)
        entries.emplace_back(gtk_string_list_get_string(mUpdateTypeList, i));
    return entries;
}

int CGtkDialogView::SelectedUpdateType() const
{
    const guint selected = gtk_drop_down_get_selected(GTK_DROP_DOWN(mUpdateType));
    return selected == GTK_INVALID_LIST_POSITION ? -1 : static_cast<int>(selected);
}

void CGtkDialogView::SetFileFilter(const std::vector<std::pair<std::u16string, std::u16string>>& filter_I)
{
    mFilter = filter_I;
}

void CGtkDialogView::AttachFileTooltip(const std::u16string& path_I)
{
    gtk_widget_set_tooltip_text(Control(IDC_FILE_NAME), Utf8(path_I).c_str());
}

std::string CGtkDialogView::FileTooltip() const
{
    const char* tip = gtk_widget_get_tooltip_text(Control(IDC_FILE_NAME));
    return tip ? tip : "";
}

void CGtkDialogView::ShowStatusStrip()
{
    // Only the status area stays: no banner, firmware sections or Program button.
    for (const auto& [id, control] : mControls) {
        if (id != IDC_STATUS_BACKGROUND && id != IDC_PROGRESS && id != IDC_STATUS_TEXT)
            gtk_widget_set_visible(control, FALSE);
    }
    gtk_widget_set_visible(mContent, FALSE);
}

void CGtkDialogView::Browse()
{
    if (!mFileChooserEnabled)
        return;
    GtkFileChooserNative* chooser = gtk_file_chooser_native_new("Open Firmware File", mWindow, GTK_FILE_CHOOSER_ACTION_OPEN,
                                                                "_Open", "_Cancel");
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(chooser), TRUE);
    bool first = true;
    for (const auto& [display, pattern] : mFilter) {
        GtkFileFilter* filter = gtk_file_filter_new();
        gtk_file_filter_set_name(filter, Utf8(display).c_str());
        gtk_file_filter_add_pattern(filter, Utf8(pattern).c_str());
        gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filter);
        if (first)
            gtk_file_chooser_set_filter(GTK_FILE_CHOOSER(chooser), filter);
        first = false;
        g_object_unref(filter);
    }
    if (!mSettings.browseDirectory.empty()) {
        GFile* folder = g_file_new_for_path(mSettings.browseDirectory.c_str());
        gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), folder, nullptr);
        g_object_unref(folder);
    }
    g_signal_connect(chooser, "response", G_CALLBACK(+[](GtkNativeDialog* dialog_I, int response_I, gpointer self_I) {
                         std::string path;
                         if (response_I == GTK_RESPONSE_ACCEPT) {
                             if (GFile* file = gtk_file_chooser_get_file(GTK_FILE_CHOOSER(dialog_I))) {
                                 if (char* chosen = g_file_get_path(file)) {
                                     path = chosen;
                                     g_free(chosen);
                                 }
                                 g_object_unref(file);
                             }
                         }
                         g_object_unref(dialog_I);
                         if (!path.empty())
                             static_cast<CGtkDialogView*>(self_I)->ChooseFile(path);
                     }),
                     this);
    gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser));
}

void CGtkDialogView::ChooseFile(const std::string& path_I)
{
    mModel.OnFileChosen(*this, path_I);
}

void CGtkDialogView::SelectUpdateType(int position_I)
{
    // Through the list itself: its selection signal tells the model.
    gtk_drop_down_set_selected(GTK_DROP_DOWN(mUpdateType), static_cast<guint>(position_I));
}

void CGtkDialogView::PressProgram()
{
    if (gtk_widget_get_sensitive(Control(IDC_PROGRAM)))
        mModel.OnProgram(*this);
}

void CGtkDialogView::Cancel()
{
    mModel.OnCancel(*this);
}

bool CGtkDialogView::RequestClose()
{
    if (!mModel.OnCloseRequest())
        return true;
    mModel.OnCancel(*this);
    return !mResult.has_value();
}
