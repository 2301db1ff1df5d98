// The panel in process, offscreen, against the simulated counter: the link polls on its own
// thread and the panel handles its notifications; the counter and the panel's timing share a
// clock that the test moves by hand.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/Fmmain.h"
#include "config/Cp1251.h"
#include "display/IndicatorImage.h"
#include "display/UpDown.h"
#include "support/QtTestApp.h"
#include "support/SimLink.h"
#include "support/SimProcess.h"

namespace pulsedesk::app::testing {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using namespace pulsedesk::testing;

inline reports::LocalTime FixedDay() { return {2026, 12, 7, 10, 30, 0}; }

class PanelFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        EnsureQtApp();
        for (const char* name : {"pulsedesk.cfg", "pulsedesk.msg"})
            fs::copy_file(fs::path(PULSEDESK_SOURCE_DIR) / "config/defaults" / name,
                          dir.File(name));
        messages = std::make_unique<config::MessageFile>(dir.File("pulsedesk"));
        settings = std::make_unique<config::ConfigFile>(dir.File("pulsedesk"));
        auto simLink = std::make_unique<TSerialSim>(device);
        sim = simLink.get();
        linkHolder = std::move(simLink);
        context = std::make_unique<PanelContext>(
            PanelContext{*messages, *settings, linkHolder, dir.Path() + "/",
                         TickClock{[this] { return clock.Now(); }, 1000}, FixedDay,
                         [this](const std::string& text) { errors.push_back(text); }});
        BeforePanel();
        panel = std::make_unique<TmainForm>(*context);
        if (storeExpected) {
            ASSERT_TRUE(Settle([&] { return panel->Store() != nullptr; }));
        }
    }
    virtual void BeforePanel() {}
    void TearDown() override {
        panel.reset();
        EXPECT_TRUE(errors.empty()) << errors.front();
    }

    // Serves the panel's events until pred holds.
    template <class Pred>
    bool Settle(Pred pred, std::chrono::milliseconds timeout = 5s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!pred()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }
    // A few polls go by.
    void LetPollsRun() {
        const int seen = sim->ExchangeCount();
        ASSERT_TRUE(Settle([&] { return sim->ExchangeCount() >= seen + 6; }));
    }

    template <class W = QWidget>
    W* Control(const char* name) {
        return panel->findChild<W*>(name);
    }
    void Click(const char* button) {
        ASSERT_TRUE(Settle([&] { return Control(button)->isEnabled(); })) << button;
        QTest::mouseClick(Control(button), Qt::LeftButton);
    }
    int Sent(std::uint8_t code) {
        int n = 0;
        for (const auto& r : sim->Requests()) n += r.size() > 1 && r[1] == code;
        return n;
    }
    int SentStarts() {
        int n = 0;
        for (const auto& r : sim->Requests()) n += r == std::vector<std::uint8_t>{0x02, 0x41, 1};
        return n;
    }
    void Device(const std::function<void(sim::DeviceModel&)>& change) { sim->WithDevice(change); }
    std::vector<std::string> MeasurementLines() {
        std::ifstream in(panel->Store()->ReportPath(), std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            if (line.find("N=") != std::string::npos) lines.push_back(line);
        return lines;
    }
    std::string LabelText() { return Control<QLabel>("Label1")->text().toStdString(); }
    std::string Message(config::MessageKind kind, int n) {
        return config::Cp1251ToUtf8(messages->GetMessage(kind, n));
    }
    QRgb PixelOf(const char* image) {
        return Control<display::IndicatorImage>(image)->Bitmap().pixel(1, 1) & 0xFFFFFF;
    }
    // ПОВТОР typed by the operator, as the series then uses it.
    void TypeRepeat(int n) {
        auto* edit = Control<QLineEdit>("Edit1");
        edit->setText(QString::number(n));
        QTest::keyClick(edit, Qt::Key_Return);
    }
    void OpenStudyInMode(int mode) {
        Click("SpeedButton6");
        ASSERT_TRUE(Settle([&] { return panel->IsStudyOpen(); }));
        const std::string button = "sbMode" + std::to_string(mode);
        Click(button.c_str());
        ASSERT_TRUE(Settle([&] { return Control<QAbstractButton>(button.c_str())->isChecked(); }));
    }

    bool storeExpected = true;
    TempDir dir;
    ManualClock clock;
    sim::DeviceModel device{sim::Identity{}, 500.0, 3, [this] { return clock.Now(); }};
    std::unique_ptr<config::MessageFile> messages;
    std::unique_ptr<config::ConfigFile> settings;
    std::unique_ptr<link::TSerial> linkHolder;
    TSerialSim* sim = nullptr;
    std::vector<std::string> errors;
    std::unique_ptr<PanelContext> context;
    std::unique_ptr<TmainForm> panel;
};

}  // namespace pulsedesk::app::testing
