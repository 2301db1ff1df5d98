#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "config/ConfigNumber.h"
#include "config/SiblingFile.h"
#include "config/TExtIniFile.h"

// The settings file beside the program. Callers read the text of one key and convert it
// themselves, with their own defaults (ParseConfigNumber, ParseIntegerText).
namespace pulsedesk::config {

enum class ConfigSection : int32_t {
    CHANNELS = 0,
    SYSTEM = 1,
    STANDART_MODE = 2,
    Head_Line = 3,
};

// The keys the program reads.
namespace keys {
inline constexpr std::string_view kTarlinkSupport = "TarlinkSupport";        // SYSTEM
inline constexpr std::string_view kComPort = "COM-Port";                     // SYSTEM
inline constexpr std::string_view kRepeatCounter = "Repeat_Counter";         // SYSTEM
inline constexpr std::string_view kShadowFormAlfa = "Shadow_Form_Alfa";      // SYSTEM
inline constexpr std::string_view kShadowFormColor = "Shadow_Form_Color";    // SYSTEM
inline constexpr std::string_view kSettingFormColor = "Setting_Form_Color";  // SYSTEM
inline constexpr std::string_view kWorkFolder = "Work_Folder";               // SYSTEM
inline constexpr std::string_view kThresholdWarning = "Threshold_Warning";   // SYSTEM
inline constexpr std::string_view kThresholdAlarm = "Threshold_Alarm";       // SYSTEM
inline constexpr std::string_view kReportFileField = "Report_File_Field";    // Head_Line
inline constexpr std::string_view kSWVersField = "SWVers_Field";             // Head_Line
inline constexpr std::string_view kDeviceField = "Device_Field";             // Head_Line
inline constexpr std::string_view kMonthField = "Month_Field";               // Head_Line
}  // namespace keys

class ConfigFile {
  public:
    // Opens <program>.cfg when it exists; never fails (ask IsOpen).
    explicit ConfigFile(std::string_view exePath);
    // Opens exactly this file when it exists.
    explicit ConfigFile(ExactFile file);
    ConfigFile(const ConfigFile&) = delete;
    ConfigFile& operator=(const ConfigFile&) = delete;

    bool IsOpen() const { return ini_ != nullptr; }
    const std::string& FileName() const { return fileName_; }

    // The key's value as it is in the file now (Windows-1251 bytes); empty when the key, the
    // section or the file is missing, or when the section index is unknown.
    std::string ReadConfigString(ConfigSection section, std::string_view key) const;

  private:
    std::string fileName_;
    std::unique_ptr<TExtIniFile> ini_;
};

}  // namespace pulsedesk::config
