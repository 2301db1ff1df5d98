#include "app/EntryLogic.h"

#include <QApplication>
#include <QMessageBox>
#include <cstring>
#include <iostream>
#include <memory>
#include <stdexcept>

#include "app/Fmmain.h"
#include "app/InstanceGuard.h"
#include "config/Cp1251.h"
#include "display/Artwork.h"
#include "link/tser_com.h"
#include "link/tser_muxserver.h"

namespace pulsedesk::app {

namespace {

constexpr const char* kApplicationTitle = "Cnt-QEV-C2";

// A start-up failure: the text for the box, and what only standard error gets besides.
struct StartupError : std::runtime_error {
    StartupError(const std::string& text, std::string detail = {})
        : std::runtime_error(text), detail(std::move(detail)) {}
    std::string detail;
};

std::string ErrorMessage(const config::MessageFile& messages, std::int32_t number) {
    return config::Cp1251ToUtf8(messages.GetMessage(config::MessageKind::Error, number));
}

// Why the port did not open, with what an operator on Debian can do about it.
std::string PortFailureDetail(const std::string& reason) {
    std::string detail = "Cannot open the counter's port " + reason;
    if (reason.find(std::strerror(EACCES)) != std::string::npos)
        detail += "\nOn Debian the user must be in the group dialout "
                  "(sudo adduser $USER dialout), then log in again.";
    if (reason.find("in use by another program") != std::string::npos)
        detail += "\nAnother program holds the port; close it, or share the counter through "
                  "muxserver (TarlinkSupport=1).";
    return detail;
}

std::unique_ptr<link::TSerial> CreateLink(const config::ConfigFile& config, std::string& detail) {
    using config::ConfigSection;
    if (config.ReadConfigString(ConfigSection::SYSTEM, config::keys::kTarlinkSupport) == "1")
        return std::make_unique<link::TSerialMux>();
    const std::string port =
        config.ReadConfigString(ConfigSection::SYSTEM, config::keys::kComPort);
    auto com = std::make_unique<link::TSerialCom>(port);
    if (!com->IsConnected()) detail = PortFailureDetail(com->OpenError());
    return com;
}

void ShowStartupError(const std::string& text, const std::string& detail) {
    std::cerr << text << '\n';
    if (!detail.empty()) std::cerr << detail << '\n';
    QMessageBox::critical(nullptr, kApplicationTitle, QString::fromStdString(text));
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/') + 1); }

// Start-up steps after the instance guard; throws StartupError.
int RunPanel(const std::string& exePath, std::unique_ptr<config::MessageFile>& messages,
             std::unique_ptr<config::ConfigFile>& config, std::unique_ptr<link::TSerial>& link) {
    messages = std::make_unique<config::MessageFile>(exePath);
    if (!messages->IsOpen()) throw StartupError(ErrorMessage(*messages, 0));
    config = std::make_unique<config::ConfigFile>(exePath);
    if (!config->IsOpen()) throw StartupError(ErrorMessage(*messages, 1000));
    std::string detail;
    link = CreateLink(*config, detail);
    if (!link->IsConnected()) throw StartupError(ErrorMessage(*messages, 1002), detail);
    display::InitArtwork();
    PanelContext context{*messages, *config, link, FolderOf(exePath)};
    TmainForm panel(context);
    return QApplication::exec();
}

}  // namespace

int RunEntryLogic(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(kApplicationTitle);
    const std::string exePath = QCoreApplication::applicationFilePath().toStdString();
    InstanceGuard guard(exePath);
    if (guard.AnotherInstanceRuns()) return 1;
    std::unique_ptr<config::MessageFile> messages;
    std::unique_ptr<config::ConfigFile> config;
    std::unique_ptr<link::TSerial> link;
    int exitCode = 1;
    try {
        exitCode = RunPanel(exePath, messages, config, link);
    } catch (const StartupError& e) {
        ShowStartupError(e.what(), e.detail);
    } catch (const std::exception& e) {
        ShowStartupError(e.what(), {});
    }
    EndLink(link);
    return exitCode;
}

}  // namespace pulsedesk::app
