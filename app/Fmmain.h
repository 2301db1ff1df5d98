// TmainForm: the bench's front panel: the form, its dialogs and the track bar's event filter
// around the measurement session (BenchSession). After every poll it hands the status to the
// session, then enables its controls, sets the mode label and redraws its indicators from what
// the session says.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "app/BenchSession.h"
#include "app/PanelContext.h"
#include "app/StatusRelay.h"
#include "display/PanelIndicators.h"
#include "display/SpeedButton.h"

class QTimer;

namespace pulsedesk::dialogs {
class TForm1;
class TForm2;
class TForm3;
class TForm4;
}  // namespace pulsedesk::dialogs

namespace Ui {
class TmainForm;
}

namespace pulsedesk::app {

class TmainForm : public QWidget {
    Q_OBJECT

  public:
    explicit TmainForm(PanelContext& context, QWidget* parent = nullptr);
    ~TmainForm() override;

    // The status notification: ProcessDeviceStatus, then RefreshIndicators.
    void OnDeviceStatus();
    void ProcessDeviceStatus();
    void RefreshIndicators(const link::DeviceStatus& status);

    const BenchSession& Session() const { return *session; }
    RunState State() const { return session->State(); }
    std::uint8_t Progress() const { return session->View().progress; }
    bool IsStudyOpen() const { return session->StudyOpen(); }
    std::uint8_t SystemType() const { return session->SystemType(); }
    int RepeatCount() const { return session->RepeatConfigured(); }
    const reports::DeviceInfo& Info() const { return session->Info(); }
    const reports::ReportStore* Store() const { return session->Store(); }

    // Operator controls.
    void sbMode0Click(int mode);
    void SpeedButton5Click();   // СОЗДАТЬ НОВУЮ ЗАПИСЬ
    void SpeedButton6Click();   // НАЧАТЬ ИССЛЕДОВАНИЕ
    void SpeedButton9Click();   // count limit ТОЧНО
    void SpeedButton11Click();  // count time ТОЧНО
    void SpeedButton15Click();  // settings
    void SpeedButton16Click();  // ПУСК
    void SpeedButton17Click();  // СТОП
    void UpDown1Click();
    void TrackBar1Change(int position);
    void ShowShadow(bool on);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void ReadPanelSettings();
    void ConnectControls();
    void OnSessionEvent(const SessionEvent& event);
    bool Send(const link::frames::Frame& frame) { return session->Send(frame); }
    void PollNow();
    link::DeviceStatus CurrentStatus();
    void ShowMemo(bool editable, QColor text, QColor background);
    void SendThresholdOfTrackBar();
    void PlaceUnder(QWidget* dialog, const QWidget* button) const;
    dialogs::TForm3& SettingsForm();
    void SetUpControls();
    void FormCreate();
    void Shutdown();
    void FormCloseQuery();
    void FormClose();
    void Timer1Timer();

    void ShowSession(const SessionView& view);
    void ApplyEnabling(const PanelFacts& facts);
    void SetModeLabel(const PanelFacts& facts, std::uint8_t errorCode);
    void PressModeButton(std::uint8_t mode);
    void ShowLinkDown();
    QString LabelText(LabelKind kind, std::int32_t number) const;
    std::string ConfigText(std::string_view key) const;
    std::int32_t ThresholdPosition() const;

    PanelContext& context;
    std::unique_ptr<Ui::TmainForm> ui;
    QTimer* Timer1 = nullptr;
    StatusRelay relay;
    std::unique_ptr<BenchSession> session;

    std::uint32_t shadowColour = 0xA0A020;
    std::uint32_t dialogColour = 0xA0A020;
    std::uint8_t shadowOpacity = 200;
    bool dragging = false;
    bool closing = false;
    std::unique_ptr<display::PanelIndicators> indicators;
    std::unique_ptr<reports::SpecialTextOption> specialText;  // once the settings dialog exists
    std::array<display::SpeedButton*, 4> modeButtons{};
    dialogs::TForm1* Form1 = nullptr;  // created on first use, owned by the panel
    dialogs::TForm2* Form2 = nullptr;
    dialogs::TForm3* Form3 = nullptr;
    dialogs::TForm4* Form4 = nullptr;
    link::DeviceStatus shownStatus;  // the last copy taken, shown by Timer1 while the lock is busy
};

}  // namespace pulsedesk::app
