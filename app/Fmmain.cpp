#include "app/Fmmain.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QTimer>

#include "config/ConfigNumber.h"
#include "config/Cp1251.h"
#include "dialogs/Fcountthreshold.h"
#include "dialogs/Fcounttimer.h"
#include "dialogs/Fsettings.h"
#include "dialogs/Fshadow.h"
#include "display/Artwork.h"
#include "display/Colour.h"
#include "display/PanelLayout.h"
#include "link/commands.h"
#include "link/Identify.h"
#include "link/protocol.h"
#include "ui_Fmmain.h"
#include "version/Version.h"

namespace pulsedesk::app {

using config::ConfigSection;
namespace keys = config::keys;
namespace frames = link::frames;

namespace {

constexpr std::uint32_t kLinkDownEights = 88888888;

QString FromCp1251(const std::string& bytes) {
    return QString::fromStdString(config::Cp1251ToUtf8(bytes));
}

constexpr int kDialogAccepted = 1;

// The special-format file's switch and name, as the settings dialog holds them.
class SettingsSpecialText final : public reports::SpecialTextOption {
  public:
    explicit SettingsSpecialText(const dialogs::TForm3& form) : form(form) {}
    bool Enabled() const override { return form.SpecialTextEnabled(); }
    std::string FileName() const override { return form.SpecialTextName(); }

  private:
    const dialogs::TForm3& form;
};

}  // namespace

TmainForm::TmainForm(PanelContext& ctx, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      context(ctx),
      ui(std::make_unique<Ui::TmainForm>()),
      relay([this] { OnDeviceStatus(); }) {
    ui->setupUi(this);
    session = std::make_unique<BenchSession>(
        SessionEnvironment{ctx.link.get(), link::SharedControlOf(ctx.link.get()), ctx.config,
                           ctx.messages, ctx.defaultWorkFolder, ctx.ticks, ctx.localTime},
        [this](const SessionEvent& event) { OnSessionEvent(event); });
    SetUpControls();
    ConnectControls();
    ReadPanelSettings();
    if (context.link) context.link->SetListener(&relay);
    show();
    FormCreate();
}

TmainForm::~TmainForm() { Shutdown(); }

void TmainForm::SetUpControls() {
    setFixedSize(display::layout::kClientSize);
    ui->Image1->setPixmap(QPixmap::fromImage(display::LoadArtwork(display::kBackgroundName)));
    for (const display::layout::PanelControl& c : display::layout::kControls) {
        if (c.kind != display::layout::Kind::SpeedButton) continue;
        findChild<display::SpeedButton*>(QString::fromUtf8(c.name.data(), c.name.size()))
            ->LoadGlyphStrip(c.name);
    }
    modeButtons = {ui->sbMode0, ui->sbMode1, ui->sbMode2, ui->sbMode3};
    for (display::SpeedButton* b : modeButtons) b->SetGroupIndex(1);
    ui->sbMode0->setChecked(true);
    QFont courier("Courier New");
    courier.setPixelSize(13);
    ui->Memo1->setFont(courier);
    QFont narrow("Arial Narrow");
    narrow.setPixelSize(16);
    ui->Label1->setFont(narrow);
    QFont editFont = ui->Edit1->font();
    editFont.setPixelSize(16);
    ui->Edit1->setFont(editFont);
    ui->UpDown1->SetBuddy(ui->Edit1);
    ui->UpDown1->SetRange(1, 99);
    ui->UpDown1->SetPosition(1);
    ui->TrackBar1->setFocus();
    indicators = std::make_unique<display::PanelIndicators>(display::IndicatorImages{
        ui->ImageCounter, ui->ImageCounterThreshold, ui->ImageTimer, ui->ImageDuration,
        ui->ImageThreshold, ui->ImageRecords, ui->Image2});
    ShowMemo(false, QColor(0, 255, 255), QColor(0, 128, 128));
    Timer1 = new QTimer(this);
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, &TmainForm::Timer1Timer);
    Timer1->start();
}

std::string TmainForm::ConfigText(std::string_view key) const {
    return context.config.ReadConfigString(ConfigSection::SYSTEM, key);
}

void TmainForm::ReadPanelSettings() {
    ui->UpDown1->SetPosition(session->RepeatLeft());
    shadowOpacity = static_cast<std::uint8_t>(
        config::ParseConfigNumber(ConfigText(keys::kShadowFormAlfa), 200));
    shadowColour = static_cast<std::uint32_t>(
        config::ParseConfigNumber(ConfigText(keys::kShadowFormColor), 0xA0A020));
    dialogColour = static_cast<std::uint32_t>(
        config::ParseConfigNumber(ConfigText(keys::kSettingFormColor), 0xA0A020));
}

void TmainForm::FormCreate() {
    ui->Edit1->setAlignment(Qt::AlignRight);
    move(0, 0);
    ui->Label1->setText(FromCp1251(context.messages.GetMessage(config::MessageKind::Status, 0)));
    ui->TrackBar1->installEventFilter(this);
    setWindowTitle(QString::fromStdString(session->Title()));
}

// Timer1 and the notifications stop first, so that nothing reaches the link, the renderers or
// the report store once they are gone.
void TmainForm::Shutdown() {
    if (closing) return;
    closing = true;
    setEnabled(false);  // a click already on its way must not reach the device any more
    Timer1->stop();
    relay.SetDelivering(false);
    ui->TrackBar1->removeEventFilter(this);
    session->Close();  // while the link that gives control back still exists
    FormCloseQuery();
    FormClose();
}

void TmainForm::closeEvent(QCloseEvent* event) {
    Shutdown();
    event->accept();
}

void TmainForm::FormCloseQuery() { EndLink(context.link); }

void TmainForm::FormClose() {
    indicators.reset();
    session->SetSpecialText(nullptr);
    delete Form1;
    delete Form2;
    delete Form3;
    delete Form4;
    Form1 = nullptr;
    Form2 = nullptr;
    Form3 = nullptr;
    Form4 = nullptr;
}

void TmainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    relay.SetDelivering(!closing);
}

void TmainForm::OnDeviceStatus() {
    if (closing) return;
    ProcessDeviceStatus();
    RefreshIndicators(shownStatus);
}

void TmainForm::Timer1Timer() {
    if (closing || !context.link) return;
    const std::optional<link::DeviceStatus> status = context.link->TryCopyStatus();
    if (!status) return;
    shownStatus = *status;
    RefreshIndicators(shownStatus);
}

void TmainForm::ProcessDeviceStatus() {
    if (!context.link) return;
    const std::optional<link::DeviceStatus> copy = context.link->TryCopyStatus();
    if (!copy) return;
    shownStatus = *copy;
    ShowSession(session->OnPoll(shownStatus, context.link->IsConnected(), context.ticks.now()));
}

void TmainForm::ShowSession(const SessionView& view) {
    ApplyEnabling(view.facts);
    SetModeLabel(view.facts, view.errorCode);
    PressModeButton(view.facts.mode);
    if (ui->UpDown1->Position() != session->RepeatLeft())
        ui->UpDown1->SetPosition(session->RepeatLeft());
    const QString title = QString::fromStdString(session->Title());
    if (windowTitle() != title) setWindowTitle(title);
}

void TmainForm::OnSessionEvent(const SessionEvent& event) {
    if (event.kind != SessionEventKind::MeasurementWritten) context.showError(event.text);
}

void TmainForm::ApplyEnabling(const PanelFacts& facts) {
    const Enabling en = EnablingFor(facts);
    ui->SpeedButton5->setEnabled(en.newRecord);
    ui->SpeedButton6->setEnabled(en.startStudy);
    for (std::size_t k = 0; k < modeButtons.size(); ++k)
        modeButtons[k]->setEnabled(en.modeButtons && (!en.onlyHeldMode || k == facts.mode));
    for (QWidget* w : {ui->SpeedButton7, ui->SpeedButton9, ui->SpeedButton8})
        w->setEnabled(en.countLimit);
    for (QWidget* w : {ui->SpeedButton10, ui->SpeedButton11, ui->SpeedButton12})
        w->setEnabled(en.countTime);
    ui->SpeedButton17->setEnabled(en.stop);
    ui->SpeedButton16->setEnabled(en.start);
    for (QWidget* w :
         std::initializer_list<QWidget*>{ui->TrackBar1, ui->SpeedButton13, ui->SpeedButton14})
        w->setEnabled(en.threshold);
    ui->SpeedButton15->setEnabled(en.settings);
    ui->Edit1->setEnabled(en.repeat);
    ui->UpDown1->setEnabled(en.repeat);
}

QString TmainForm::LabelText(LabelKind kind, std::int32_t number) const {
    switch (kind) {
        case LabelKind::NoReportStore:
            return session->FolderHeldElsewhere()
                       ? QStringLiteral("ПАПКА ОТЧЁТОВ ЗАНЯТА ДРУГОЙ ПРОГРАММОЙ")
                       : QStringLiteral("НЕТ ДОСТУПА К ПАПКЕ ОТЧЁТОВ");
        case LabelKind::CountLost:
            return QStringLiteral("ИЗМЕРЕНИЕ НЕ ЗАПИСАНО");
        case LabelKind::ControlledElsewhere:
            return QStringLiteral("УПРАВЛЕНИЕ У ") + QString::fromStdString(session->ControlHolder());
        default:
            return FromCp1251(
                context.messages.GetMessage(static_cast<config::MessageKind>(kind), number));
    }
}

void TmainForm::SetModeLabel(const PanelFacts& facts, std::uint8_t errorCode) {
    const LabelChoice choice = LabelFor(facts, errorCode);
    const QString text = LabelText(choice.kind, choice.number);
    if (ui->Label1->text() != text) ui->Label1->setText(text);
    const QString style = "background: black; color: " + display::ToCssColour(choice.colour) + ";";
    if (ui->Label1->styleSheet() != style) ui->Label1->setStyleSheet(style);
}

void TmainForm::PressModeButton(std::uint8_t mode) { modeButtons[mode]->setChecked(true); }

std::int32_t TmainForm::ThresholdPosition() const { return ui->TrackBar1->value(); }

void TmainForm::RefreshIndicators(const link::DeviceStatus& status) {
    if (!indicators) return;
    const SessionView& view = session->View();
    if (context.link && context.link->IsConnected()) {
        const bool active = session->StudyOpen() && session->State() != RunState::DeviceError;
        const std::uint8_t mode = status.Mode();
        indicators->ShowCountLimit(static_cast<std::int32_t>(view.countLimit), mode == 3 && active);
        indicators->ShowCounter(static_cast<std::int32_t>(view.count), true);
        indicators->ShowTimer(view.elapsed, mode, true);
        indicators->ShowCountTime(status.countTime[0], status.countTime[1], status.countTime[2],
                                  (mode == 1 || mode == 2) && active);
        if (!dragging) {
            const std::int32_t position = link::ThresholdCodeToMillivolts(status.ThresholdCode());
            ui->TrackBar1->setValue(position);
            indicators->ShowThreshold(
                position, (status.runFlags & (link::kRunDeviceError | link::kRunBlocked)) == 0);
        }
        indicators->ShowRecordNumber(
            Store() ? static_cast<std::int32_t>(Store()->LastRecordNumber()) : 0,
            Store() != nullptr);
        indicators->DrawProgress(view.progress);
    } else {
        ShowLinkDown();
    }
}

void TmainForm::ShowLinkDown() {
    indicators->ShowCounter(kLinkDownEights, false);
    indicators->ShowCountLimit(static_cast<std::int32_t>(session->View().countLimit), false);
    indicators->ShowTimer({88, 88, 88, 88}, shownStatus.Mode(), false);
    indicators->ShowCountTime(88, 88, 88, false);
    ui->TrackBar1->setValue(0);
    indicators->ShowThreshold(8888, false);
    indicators->DrawProgress(0);
}

// The track bar's own handling runs after this: a drag shows the threshold it would set, and
// only the release sends it, so keyboard moves never reach the device.
bool TmainForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched != ui->TrackBar1 || !indicators) return QWidget::eventFilter(watched, event);
    if (!ui->TrackBar1->isEnabled()) {
        dragging = false;
        return QWidget::eventFilter(watched, event);
    }
    const auto* mouse = dynamic_cast<QMouseEvent*>(event);
    const bool left = mouse != nullptr && mouse->button() == Qt::LeftButton;
    switch (event->type()) {
        case QEvent::MouseMove:
            indicators->ShowThreshold(ThresholdPosition(), true);
            break;
        case QEvent::MouseButtonPress:
            if (!left) break;
            dragging = true;
            indicators->ShowThreshold(ThresholdPosition(), true);
            break;
        case QEvent::MouseButtonRelease:
            if (!left) break;
            SendThresholdOfTrackBar();
            dragging = false;
            break;
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

void TmainForm::SendThresholdOfTrackBar() {
    Send(frames::SetThresholdFrame(ThresholdPosition()));
    PollNow();
}

void TmainForm::ConnectControls() {
    for (std::size_t k = 0; k < modeButtons.size(); ++k)
        connect(modeButtons[k], &QAbstractButton::clicked, this,
                [this, k] { sbMode0Click(static_cast<int>(k)); });
    const std::pair<display::SpeedButton*, std::function<void()>> steps[] = {
        {ui->SpeedButton7,
         [this] {
             Send(frames::StepFrame(frames::Step::CountLimit, false));
         }},
        {ui->SpeedButton8,
         [this] {
             Send(frames::StepFrame(frames::Step::CountLimit, true));
         }},
        {ui->SpeedButton10,
         [this] {
             Send(frames::StepFrame(frames::Step::CountTime, false));
         }},
        {ui->SpeedButton12,
         [this] {
             Send(frames::StepFrame(frames::Step::CountTime, true));
         }},
        {ui->SpeedButton13,
         [this] {
             Send(frames::StepFrame(frames::Step::Threshold, false));
         }},
        {ui->SpeedButton14,
         [this] {
             Send(frames::StepFrame(frames::Step::Threshold, true));
         }},
        {ui->SpeedButton5, [this] { SpeedButton5Click(); }},
        {ui->SpeedButton6, [this] { SpeedButton6Click(); }},
        {ui->SpeedButton9, [this] { SpeedButton9Click(); }},
        {ui->SpeedButton11, [this] { SpeedButton11Click(); }},
        {ui->SpeedButton15, [this] { SpeedButton15Click(); }},
        {ui->SpeedButton16, [this] { SpeedButton16Click(); }},
        {ui->SpeedButton17, [this] { SpeedButton17Click(); }},
    };
    for (const auto& [button, action] : steps)
        connect(button, &QAbstractButton::clicked, this, action);
    connect(ui->UpDown1, &display::UpDown::Click, this, &TmainForm::UpDown1Click);
    connect(ui->UpDown1, &display::UpDown::Typed, this, &TmainForm::UpDown1Click);
    connect(ui->TrackBar1, &QSlider::valueChanged, this, &TmainForm::TrackBar1Change);
}

void TmainForm::PollNow() {
    if (context.link) context.link->PollNow();
}

link::DeviceStatus TmainForm::CurrentStatus() {
    if (context.link) {
        if (const auto status = context.link->TryCopyStatus()) shownStatus = *status;
    }
    return shownStatus;
}

void TmainForm::sbMode0Click(int mode) {
    const link::DeviceStatus status = CurrentStatus();
    if (!session->SelectMode(static_cast<std::uint8_t>(mode), status)) PressModeButton(status.Mode());
}

void TmainForm::ShowMemo(bool editable, QColor text, QColor background) {
    QPalette palette = ui->Memo1->palette();
    palette.setColor(QPalette::Base, background);
    palette.setColor(QPalette::Text, text);
    ui->Memo1->setPalette(palette);
    ui->Memo1->setReadOnly(!editable);
}

void TmainForm::SpeedButton5Click() {
    session->NewRecord();
    ShowMemo(true, Qt::black, Qt::white);
    ui->Memo1->clear();
}

// A refused record leaves the memo editable with its text, so the retry writes what was typed.
void TmainForm::SpeedButton6Click() {
    if (!session->PrepareStudy()) return;
    if (ui->Memo1->isReadOnly()) ui->Memo1->clear();
    ShowMemo(false, QColor(64, 208, 208), QColor(0, 128, 128));
    const QString description = ui->Memo1->toPlainText().replace('\n', QStringLiteral("\r\n"));
    if (!session->OpenStudy(config::Utf8ToCp1251(description.toStdString())))
        ShowMemo(true, Qt::black, Qt::white);
}

// Screen coordinates: under the button's left end, clear of the panel's title bar.
void TmainForm::PlaceUnder(QWidget* dialog, const QWidget* button) const {
    const QPoint panel = frameGeometry().topLeft();
    dialog->move(button->x() + panel.x() + 3, button->y() + panel.y() + button->height() + 24);
}

void TmainForm::SpeedButton9Click() {
    ShowShadow(true);
    if (Form2 == nullptr) Form2 = new dialogs::TForm2(this);
    Form2->SetPanelColour(dialogColour);
    Form2->SetCountLimit(CurrentStatus().countLimit);
    PlaceUnder(Form2, ui->SpeedButton7);
    if (Form2->exec() == kDialogAccepted) {
        session->SetCountLimit(Form2->CountLimit(), CurrentStatus());
    }
    ShowShadow(false);
}

void TmainForm::SpeedButton11Click() {
    ShowShadow(true);
    if (Form1 == nullptr) Form1 = new dialogs::TForm1(this);
    Form1->SetPanelColour(dialogColour);
    const auto& preset = CurrentStatus().countTime;
    Form1->SetCountTime(preset[0], preset[1], preset[2]);
    PlaceUnder(Form1, ui->SpeedButton10);
    if (Form1->exec() == kDialogAccepted)
        Send(frames::SetCountTimeFrame({Form1->Hours(), Form1->Minutes(), Form1->Seconds()}));
    ShowShadow(false);
}

dialogs::TForm3& TmainForm::SettingsForm() {
    if (Form3 == nullptr) {
        Form3 = new dialogs::TForm3(this);
        specialText = std::make_unique<SettingsSpecialText>(*Form3);
        session->SetSpecialText(specialText.get());
    }
    return *Form3;
}

void TmainForm::SpeedButton15Click() {
    ShowShadow(true);
    dialogs::TForm3& form = SettingsForm();
    form.SetDialogColour(dialogColour);
    form.SetSwitches(link::SwitchesOf(CurrentStatus().modeOptions), session->SystemType() != 1);
    // The mode bits come from the status of this moment: the device's mode may have changed
    // at its own keys, or by another program, while the dialog was open.
    if (form.exec() == kDialogAccepted) {
        const dialogs::DeviceSwitches switches = form.Switches();
        Send(frames::SetOptionsFrame(link::OptionByteOf(switches, CurrentStatus().modeOptions)));
        Send(frames::SoundFrame(frames::Sound::Signal, switches.signalSound));
        Send(frames::SoundFrame(frames::Sound::End, switches.endSound));
    }
    if (form.RestoreDefaultsChosen()) Send(frames::RestoreDefaultsFrame());
    ShowShadow(false);
}

void TmainForm::ShowShadow(bool on) {
    if (Form4 == nullptr) Form4 = new dialogs::TForm4(this);
    if (on)
        Form4->ShowOver(rect(), shadowColour, shadowOpacity);
    else
        Form4->HideOverlay();
}

void TmainForm::SpeedButton16Click() { session->Start(); }

void TmainForm::SpeedButton17Click() { session->Stop(); }

void TmainForm::UpDown1Click() { session->ConfigureRepeat(ui->UpDown1->Position()); }

void TmainForm::TrackBar1Change(int position) {
    if (indicators) indicators->ShowThreshold(position, true);
}

}  // namespace pulsedesk::app
