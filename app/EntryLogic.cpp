#include "app/EntryLogic.h"

#include <QApplication>
#include <QMessageBox>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>

#include "app/CommandLine.h"
#include "app/Fmmain.h"
#include "app/InstanceGuard.h"
#include "config/Cp1251.h"
#include "config/FileLookup.h"
#include "config/LinkSetting.h"
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
        detail +=
            "\nOn Debian the user must be in the group dialout "
            "(sudo adduser $USER dialout), then log in again.";
    if (reason.find("in use by another program") != std::string::npos)
        detail +=
            "\nAnother program holds the port; close it, or share the counter through "
            "muxserver (TarlinkSupport=1).";
    return detail;
}

// Told on the thread of the exchange that failed to load the client library: the box opens
// on the GUI thread, as soon as the message loop gets to it.
void ShowLoadFailureLater(const std::string& why) {
    QMetaObject::invokeMethod(
        qApp, [why] { ShowStartupError(why, {}); }, Qt::QueuedConnection);
}

// Without a port the link stays unconnected, so that start-up ends with the settings' error.
std::unique_ptr<link::TSerial> CreateLink(const config::ConfigFile& config, std::string& detail) {
    const config::LinkSetting setting = config::LinkSettingOf(config);
    if (setting.kind == config::LinkSetting::Kind::Mux)
        return std::make_unique<link::TSerialMux>(link::TSerialMux::ExecutableFolder(),
                                                  ShowLoadFailureLater);
    auto com = std::make_unique<link::TSerialCom>(setting.port);
    if (setting.kind == config::LinkSetting::Kind::NoPort)
        detail = config::EmptyPortText(config) + ".";
    else if (!com->IsConnected())
        detail = PortFailureDetail(com->OpenError());
    return com;
}

// Start-up steps after the instance guard; throws StartupError.
int RunPanel(const std::string& exePath, std::unique_ptr<config::MessageFile>& messages,
             std::unique_ptr<config::ConfigFile>& config, std::unique_ptr<link::TSerial>& link) {
    const config::LookupRoots roots = config::RootsFromEnvironment();
    const auto messageFiles = config::MessageFileCandidates(exePath, roots);
    messages = std::make_unique<config::MessageFile>(config::ChooseFile(messageFiles));
    if (!messages->IsOpen())
        throw StartupError(ErrorMessage(*messages, 0),
                           config::TriedPathsText("message file", messageFiles));
    const auto settingsFiles = config::SettingsFileCandidates(exePath, roots);
    config = std::make_unique<config::ConfigFile>(config::ChooseFile(settingsFiles));
    if (!config->IsOpen())
        throw StartupError(ErrorMessage(*messages, 1000),
                           config::TriedPathsText("settings file", settingsFiles));
    std::string detail;
    link = CreateLink(*config, detail);
    if (!link->IsConnected()) throw StartupError(ErrorMessage(*messages, 1002), detail);
    display::InitArtwork();
    PanelContext context{*messages, *config, link,
                         config::DefaultWorkFolder(exePath, config->FileName(), roots)};
    TmainForm panel(context);
    return QApplication::exec();
}

// Answers --version and --help, or refuses other arguments, before anything is opened; no
// exit code when the panel is to run.
std::optional<int> AnswerCommandLine(int argc, char** argv) {
    switch (ParseCommandLine(argc, argv)) {
        case CommandLineRequest::Version:
            std::cout << VersionText();
            return 0;
        case CommandLineRequest::Help:
            std::cout << UsageText();
            return 0;
        case CommandLineRequest::Misuse:
            std::cerr << UsageText();
            return 2;
        case CommandLineRequest::Run:
            break;
    }
    return std::nullopt;
}

}  // namespace

void ShowStartupError(const std::string& text, const std::string& detail) {
    std::cerr << text << '\n';
    if (!detail.empty()) std::cerr << detail << '\n';
    const std::string boxText = detail.empty() ? text : text + "\n\n" + detail;
    QMessageBox::critical(nullptr, kApplicationTitle, QString::fromStdString(boxText));
}

int RunEntryLogic(int argc, char** argv) {
    if (const std::optional<int> answered = AnswerCommandLine(argc, argv)) return *answered;
    QApplication application(argc, argv);
    QApplication::setApplicationName(kApplicationTitle);
    const std::string exePath = QCoreApplication::applicationFilePath().toStdString();
    InstanceGuard guard(exePath);
    if (guard.AnotherInstanceRuns()) {
        std::cerr << "Another panel is running"
                  << (guard.HolderPid() > 0 ? " (process " + std::to_string(guard.HolderPid()) + ")"
                                            : std::string())
                  << "; this one ends.\n";
        return 1;
    }
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
