// TmainForm: the bench's front panel. It follows the counter's status after every poll (the
// run-state machine, the end of a measurement written to the report, automatic repeats, the
// link coming and going), enables its controls, and redraws its indicators.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "app/PanelContext.h"
#include "app/PanelRules.h"
#include "app/ReportStoreKeeper.h"
#include "app/SeriesCounter.h"
#include "app/StatusRelay.h"
#include "display/PanelIndicators.h"
#include "display/SpeedButton.h"
#include "link/ControlGrant.h"
#include "link/EndOfCount.h"
#include "reports/DeviceInfo.h"
#include "reports/ReportStore.h"

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
    void IdentifyDevice();

    RunState State() const { return runState; }
    std::uint8_t Progress() const { return progress; }
    bool IsStudyOpen() const { return studyOpen; }
    std::uint8_t SystemType() const { return systemType; }
    int RepeatCount() const { return series.Configured(); }
    const reports::DeviceInfo& Info() const { return deviceInfo; }
    const reports::ReportStore* Store() const { return storeKeeper.Store(); }

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
    bool Send(const link::frames::Frame& frame);
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

    // Steps of ProcessDeviceStatus.
    bool RunTimedTransitions(std::int64_t now, std::uint8_t runFlags, std::uint8_t mode);
    void TakeMeasuredValues(const link::DeviceStatus& status, std::uint8_t mode);
    link::EndVerdict FollowEndOfCount(const link::DeviceStatus& status, bool alive);
    void RecordMeasurement(const link::DeviceStatus& status, std::uint8_t mode);
    void ReportLostCount();
    void ContinueSeries(std::uint8_t mode);
    void EndSeries();
    void FollowLinkChange(bool alive);
    std::unique_ptr<reports::ReportStore> MakeReportStore();
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
    link::ControlGrant grant;  // control of a shared counter; always held alone on a port

    RunState runState = RunState::Idle;
    std::uint8_t progress = 0;
    bool linkSeen = false;
    SeriesCounter series;  // ПОВТОР: what UpDown1 shows
    std::uint32_t shadowColour = 0xA0A020;
    std::uint32_t dialogColour = 0xA0A020;
    std::uint8_t shadowOpacity = 200;
    bool studyOpen = false;
    bool dragging = false;
    bool closing = false;
    std::unique_ptr<display::PanelIndicators> indicators;
    ReportStoreKeeper storeKeeper;
    reports::DeviceInfo deviceInfo;
    std::int64_t lastStamp = 0;
    link::EndOfCount endOfCount;  // whether the device's "finished" can be recorded
    bool countLost = false;       // told the operator; the label says so until a new count
    bool seriesStopped = false;   // СТОП was pressed: no repeat until the next ПУСК
    std::uint32_t countLimit = 0;
    std::uint32_t count = 0;
    std::uint32_t elapsed = 0;
    std::uint32_t countTime = 0;
    std::array<std::uint8_t, 4> elapsedBytes{};
    std::uint8_t systemType = 0;
    std::array<display::SpeedButton*, 4> modeButtons{};
    dialogs::TForm1* Form1 = nullptr;  // created on first use, owned by the panel
    dialogs::TForm2* Form2 = nullptr;
    dialogs::TForm3* Form3 = nullptr;
    dialogs::TForm4* Form4 = nullptr;
    link::DeviceStatus shownStatus;  // the last copy taken, shown by Timer1 while the lock is busy
};

}  // namespace pulsedesk::app
