#include "config/MessageFile.h"

#include <array>

#include "config/Cp1251.h"
#include "config/SiblingFile.h"

namespace pulsedesk::config {
namespace {

struct KindTable {
    std::string_view section;
    std::string_view keyPrefix;
};

constexpr std::array<KindTable, 13> kKinds = {{
    {"INFO_MESSAGE", "INFO"},
    {"QUESTION", "QUEST"},
    {"WARNING_MESSAGE", "WARN"},
    {"ERROR_MESSAGE", "ERR"},
    {"STATUS_MESSAGE", "STAT"},
    {"MAIN_DIALOG", ""},
    {"SAVE_TO_FILE_DIALOG", ""},
    {"LOAD_FROM_FILE_DIALOG", ""},
    {"VISIBLE_DIALOG", ""},
    {"LOAD_DIALOG", ""},
    {"TOOLS_DIALOG", ""},
    {"MENU_ITEMS", ""},
    {"CONTEXT_MENU_ITEMS", ""},
}};

// Negative kinds wrap to large unsigned values and so are unknown as well.
const KindTable* FindKind(MessageKind kind) {
    const auto index = static_cast<uint32_t>(kind);
    return index < kKinds.size() ? &kKinds[index] : nullptr;
}

std::string UnknownKindText(MessageKind kind) {
    return "Unknown type message! (ID = " + std::to_string(static_cast<int32_t>(kind)) + ")";
}

std::string KeyNotFoundText(std::string_view key, std::string_view section) {
    return "Message (key = " + std::string(key) + ") of section [" + std::string(section) +
           "] not found!";
}

}  // namespace

MessageFile::MessageFile(std::string_view exePath)
    : MessageFile(ExactFile{SiblingFileName(exePath, ".msg")}) {}

MessageFile::MessageFile(ExactFile file) : fileName_(std::move(file.path)) {
    if (IsExistingFile(fileName_)) ini_ = std::make_unique<TExtIniFile>(fileName_);
}

MessageFile::~MessageFile() = default;

std::string MessageFile::MakeMessageKey(MessageKind kind, int32_t number) const {
    std::string key;
    TryMakeMessageKey(kind, number, key);
    return key;
}

bool MessageFile::TryMakeMessageKey(MessageKind kind, int32_t number, std::string& key) const {
    const KindTable* table = FindKind(kind);
    key = table ? std::string(table->keyPrefix) + std::to_string(number) : UnknownKindText(kind);
    return table != nullptr;
}

std::string MessageFile::GetMessage(MessageKind kind, int32_t number) const {
    if (!ini_) {
        // Messages are Windows-1251 text, so the path (UTF-8 on this system) is converted too.
        return "File of Messages (" + Utf8ToCp1251(fileName_) + ") not found!";
    }
    const KindTable* table = FindKind(kind);
    if (!table) return UnknownKindText(kind);
    const std::string key = MakeMessageKey(kind, number);
    return ini_->ReadString(table->section, key, KeyNotFoundText(key, table->section));
}

std::string MessageFile::GetCaption(MessageKind kind, std::string_view defaultText) const {
    return ReadMessageText(kind, "Caption", defaultText);
}

std::string MessageFile::ReadMessageText(MessageKind kind, std::string_view key,
                                         std::string_view defaultText) const {
    const KindTable* table = FindKind(kind);
    if (!ini_ || !table) return std::string(defaultText);
    return ini_->ReadString(table->section, key, defaultText);
}

bool MessageFile::TryGetMessage(MessageKind kind, int32_t number, std::string& text) const {
    const KindTable* table = FindKind(kind);
    if (!table) {
        text = UnknownKindText(kind);
        return false;
    }
    text = GetMessage(kind, number);
    return ini_ && ini_->ValueExists(table->section, MakeMessageKey(kind, number));
}

}  // namespace pulsedesk::config
